// A window put together from the preview view, the folder and file panes and a table of the header, as
// the main window holds them: a job's preview tiled 3 × 2, saved as a screenshot for a person to look at.

#include <QtTest>

#include <QDir>
#include <QDockWidget>
#include <QHeaderView>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTreeView>

#include <cmath>

#include "PaneTestSupport.h"
#include "panes/FilePane.h"
#include "panes/FilterShellListCtrl.h"
#include "panes/FolderPane.h"
#include "panes/TessarinDoc.h"
#include "panes/TessarinView.h"

using namespace panetest;

namespace {

// Four inks in rings and bands, so the tiles show at a glance whether planes or rows went astray.
uint8_t PosterInk(uint32_t x, uint32_t n, uint32_t p, uint32_t width, uint32_t height) {
    const double dx = (double(x) - width / 2.0) / height, dy = double(n) / height - 0.5;
    const double r = std::sqrt(dx * dx + dy * dy);
    switch (p) {
        case 0: return r > 0.42 ? 255 : 0;                                      // black frame
        case 1: return uint8_t(r < 0.3 ? 255 * (1 - r / 0.3) : 0);              // cyan disc
        case 2: return uint8_t((x * 8 / width) % 2 ? 160 : 0);                  // magenta bands
        default: return uint8_t(n * 255 / height);                              // yellow fade
    }
}

void FillHeaderTable(QTableWidget& table, const RipHead& h) {
    const std::pair<const char*, uint32_t> rows[] = {
        {"signature", h.signature}, {"xdpi", h.xdpi},     {"ydpi", h.ydpi},   {"byteperline", h.byteperline},
        {"height", h.height},       {"width", h.width},   {"color", h.color}, {"bit", h.bit}};
    table.setRowCount(int(std::size(rows)));
    int row = 0;
    for (const auto& [name, value] : rows) {
        table.setItem(row, 0, new QTableWidgetItem(name));
        table.setItem(row, 1, new QTableWidgetItem(QString::number(value)));
        ++row;
    }
}

}  // namespace

class PreviewWindowTest : public QObject {
    Q_OBJECT
private slots:
    void aJobTiledThreeByTwoWithItsHeader() {
        QTemporaryDir dir;
        const uint32_t width = 2400, height = 1600;
        const QString job = dir.filePath("poster.prn");
        WriteJob(job, Head(width, height),
                 [&](uint32_t x, uint32_t n, uint32_t p) { return PosterInk(x, n, p, width, height); });
        WriteJob(dir.filePath("banner.prt"), Head(1200, 300));
        const QString startFolder = QDir::currentPath();

        QMainWindow window;
        window.resize(1280, 760);
        auto* view = new CTessarinView;
        window.setCentralWidget(view);
        auto* folders = new CFolderPane(&window);
        auto* files = new CFilePane(&window);
        window.addDockWidget(Qt::LeftDockWidgetArea, folders);
        window.splitDockWidget(folders, files, Qt::Vertical);
        folders->LinkTo(files);
        auto* headerDock = new QDockWidget("Properties", &window);
        auto* header = new QTableWidget(0, 2, headerDock);
        header->setHorizontalHeaderLabels({"Name", "Value"});
        header->horizontalHeader()->setStretchLastSection(true);
        header->verticalHeader()->hide();
        headerDock->setWidget(header);
        window.addDockWidget(Qt::RightDockWidgetArea, headerDock);
        window.resizeDocks({folders, headerDock}, {300, 240}, Qt::Horizontal);

        CTessarinDoc doc;
        doc.SetViewWidthSource([view] { return view->width(); });
        QObject::connect(&doc, &CTessarinDoc::pathChanged, view, &CTessarinView::SetDocumentPath);
        QObject::connect(&doc, &CTessarinDoc::previewReady, view, &CTessarinView::OnPreviewWritten);
        QObject::connect(&doc, &CTessarinDoc::folderChanged, files, &CFilePane::BrowseToFolder);
        QObject::connect(&doc, &CTessarinDoc::titleChanged, &window, [&] { window.setWindowTitle(doc.WindowTitle()); });
        QObject::connect(&doc, &CTessarinDoc::headLoaded, header, [header](const RipHead& h) { FillHeaderTable(*header, h); });
        QObject::connect(files, &CFilePane::openRequested, &doc, &CTessarinDoc::OnOpenDocument);
        view->SetLayout(3, 0, 2, 0);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QSignalSpy idle(&doc, &CTessarinDoc::previewsIdle);
        QVERIFY(doc.OnOpenDocument(job));
        QTRY_COMPARE_WITH_TIMEOUT(idle.count(), 1, 30000);
        QCOMPARE(window.windowTitle(), QString("poster.prn - Tessarin"));
        QCOMPARE(header->rowCount(), 8);
        QCOMPARE(header->item(5, 1)->text(), QString::number(width));
        QTRY_COMPARE(files->List()->ListedNames().size(), 2);
        QTreeView& tree = *folders->Tree();
        QCOMPARE(folders->SelectedFolder(), dir.path());
        QTRY_VERIFY(tree.viewport()->rect().contains(tree.visualRect(tree.currentIndex())));

        const QImage shot = window.grab().toImage();
        // Every tile's centre shows the cyan disc (over half the yellow fade): the picture is there, tiled.
        const QImage picture(job + ".bmp");
        QVERIFY(!picture.isNull());
        const int tileW = picture.width() / 3, tileH = picture.height() / 3;
        const QPoint origin = view->mapTo(&window, QPoint((view->width() - picture.width()) / 2,
                                                          (view->height() - picture.height()) / 2));
        for (int j = 0; j < 3; ++j)
            for (int i = 0; i < 2; ++i) {
                const QColor centre = shot.pixelColor(origin + QPoint(j * tileW + tileW / 2, i * tileH + tileH / 2));
                QVERIFY2(centre.red() < 60 && centre.green() > 200 && centre.blue() > 90 && centre.blue() < 170,
                         qPrintable(QString("tile %1,%2 is %3").arg(j).arg(i).arg(centre.name())));
            }
        const QColor belowBlock = shot.pixelColor(origin + QPoint(tileW, 2 * tileH + 5));
        QCOMPARE(belowBlock, view->palette().color(QPalette::Base));

        const QString folder = qEnvironmentVariable("TESSARIN_SCREENSHOT_DIR", QDir::tempPath());
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(shot.save(QDir(folder).filePath("preview-window.png")));
        QDir::setCurrent(startFolder);
    }
};

QTEST_MAIN(PreviewWindowTest)
#include "PreviewWindowTest.moc"
