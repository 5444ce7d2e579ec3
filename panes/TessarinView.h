#pragma once

#include <QString>
#include <QWidget>

class QPainter;

// The centre of the main window: the open job's preview picture, repeated X copies across and Y copies
// down as the property pane says, so the operator sees the layout that will print. It reads no raster
// data: it loads the picture the document made beside the job, at every paint, so a picture written or
// replaced meanwhile shows at the next paint. No scroll bars, no frame.
class CTessarinView : public QWidget {
    Q_OBJECT
public:
    explicit CTessarinView(QWidget* parent = nullptr);

    // The picture of a document path: the path itself when its file name holds ".bmp" (any letter case),
    // else path + ".bmp".
    static QString PicturePathFor(const QString& documentPath);

    QString DocumentPath() const { return m_documentPath; }
    int XCopies() const { return m_xCopies; }
    int YCopies() const { return m_yCopies; }

public slots:
    // The document's path name (CTessarinDoc::pathChanged); empty draws nothing.
    void SetDocumentPath(const QString& path);
    // The layout values of the property pane; the spacings are not drawn.
    void SetLayout(int xCopies, int xSpacing, int yCopies, int ySpacing);
    // A preview was written (CTessarinDoc::previewReady): repaint when it is the one shown.
    void OnPreviewWritten(const QString& picturePath);
    // Repaints the whole view at once.
    void OnUpdate();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnSize();
    void OnDraw(QPainter& painter);
    void DisplayImage(QPainter& painter, const QString& picturePath, int xCopies, int yCopies);

    QString m_documentPath;
    int m_xCopies = 1;
    int m_yCopies = 1;
};
