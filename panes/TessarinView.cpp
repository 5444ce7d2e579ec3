#include "panes/TessarinView.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include "panes/PreviewTiling.h"
#include "shell/Trace.h"

CTessarinView::CTessarinView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);  // the part without tiles shows the background, erased before painting
    setBackgroundRole(QPalette::Base);
}

QString CTessarinView::PicturePathFor(const QString& documentPath) {
    const qsizetype nameStart = documentPath.lastIndexOf('/') + 1;
    if (documentPath.indexOf(".bmp", nameStart, Qt::CaseInsensitive) >= 0) return documentPath;
    return documentPath + ".bmp";
}

void CTessarinView::SetDocumentPath(const QString& path) {
    m_documentPath = path;
    OnUpdate();
}

void CTessarinView::SetLayout(int xCopies, int /*xSpacing*/, int yCopies, int /*ySpacing*/) {
    m_xCopies = xCopies;
    m_yCopies = yCopies;
    OnUpdate();
}

void CTessarinView::OnPreviewWritten(const QString& picturePath) {
    if (!m_documentPath.isEmpty() && picturePath == PicturePathFor(m_documentPath)) OnUpdate();
}

void CTessarinView::OnUpdate() {
    TraceLine("更新View");
    update();
}

void CTessarinView::resizeEvent(QResizeEvent* event) {
    OnSize();
    QWidget::resizeEvent(event);
}

// The whole view is repainted after a resize: the tiles stand relative to its centre.
void CTessarinView::OnSize() { TraceLine("改变了大小"); }

void CTessarinView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    OnDraw(painter);
}

void CTessarinView::OnDraw(QPainter& painter) {
    TraceLine("绘制，然后DisplayImage()");
    if (m_documentPath.isEmpty()) return;  // no document: nothing to look for
    DisplayImage(painter, PicturePathFor(m_documentPath), m_xCopies, m_yCopies);
}

void CTessarinView::DisplayImage(QPainter& painter, const QString& picturePath, int xCopies, int yCopies) {
    TraceLine("显示BMP文件");
    const QImage picture(picturePath);
    if (picture.isNull()) return;
    const CPreviewTiling tiling(picture.width(), picture.height(), width(), height(), xCopies, yCopies);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const auto& tile : tiling.VisibleTiles()) {
        painter.drawImage(QRect(static_cast<int>(tile.x), static_cast<int>(tile.y), static_cast<int>(tile.width),
                                static_cast<int>(tile.height)),
                          picture);
    }
}
