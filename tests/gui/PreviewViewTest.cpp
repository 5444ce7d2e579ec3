// The preview view: where the tiles of X copies × Y copies stand, and that the view draws them from the
// picture on disk at every paint.

#include <QtTest>

#include <QImage>
#include <QTemporaryDir>

#include "PaneTestSupport.h"
#include "engine/BmpFile.h"
#include "panes/PreviewTiling.h"
#include "panes/TessarinView.h"

using namespace panetest;
using Rect = CPreviewTiling::Rect;
using Rects = std::vector<Rect>;

Q_DECLARE_METATYPE(Rects)

namespace {

constexpr QRgb kRed = 0xFFFF0000;

void WriteSolidPicture(const QString& path, uint32_t width, uint32_t height) {
    CBmpFile picture(width, height);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) picture.Set(x, y, Rgb{255, 0, 0});
    QVERIFY(picture.Write(Fs(path)));
}

// The pixels of the grabbed view that show the picture.
QList<QPoint> RedPixels(const QImage& image) {
    QList<QPoint> red;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == kRed) red << QPoint(x, y);
    return red;
}

}  // namespace

class PreviewViewTest : public QObject {
    Q_OBJECT
private slots:
    void tilesStandFromTheCentredOrigin_data() {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("view");
        QTest::addColumn<int>("xCopies");
        QTest::addColumn<int>("yCopies");
        QTest::addColumn<Rects>("tiles");
        // A 90 × 60 picture centred in a 300 × 200 view stands at (105, 70).
        QTest::newRow("1 x 1: once, full size, centred")
            << QSize(90, 60) << QSize(300, 200) << 1 << 1 << Rects{{105, 70, 90, 60}};
        QTest::newRow("3 x 1: three thirds side by side")
            << QSize(90, 60) << QSize(300, 200) << 3 << 1
            << Rects{{105, 70, 30, 20}, {135, 70, 30, 20}, {165, 70, 30, 20}};
        QTest::newRow("2 x 4: two columns, four rows of quarters")
            << QSize(90, 60) << QSize(300, 200) << 2 << 4
            << Rects{{105, 70, 22, 15}, {127, 70, 22, 15}, {105, 85, 22, 15}, {127, 85, 22, 15},
                     {105, 100, 22, 15}, {127, 100, 22, 15}, {105, 115, 22, 15}, {127, 115, 22, 15}};
        QTest::newRow("odd difference rounds towards zero")
            << QSize(91, 61) << QSize(300, 200) << 1 << 1 << Rects{{104, 69, 91, 61}};
        QTest::newRow("picture larger than the view: negative origin")
            << QSize(500, 300) << QSize(300, 200) << 1 << 1 << Rects{{-100, -50, 500, 300}};
        QTest::newRow("negative odd origin rounds towards zero")
            << QSize(301, 201) << QSize(300, 200) << 1 << 1 << Rects{{0, 0, 301, 201}};
        QTest::newRow("X copies 0 draws nothing") << QSize(90, 60) << QSize(300, 200) << 0 << 2 << Rects{};
        QTest::newRow("Y copies negative draws nothing") << QSize(90, 60) << QSize(300, 200) << 3 << -1 << Rects{};
        QTest::newRow("both below 1 draw nothing") << QSize(90, 60) << QSize(300, 200) << -2 << -2 << Rects{};
        QTest::newRow("tiles under a pixel draw nothing") << QSize(90, 60) << QSize(300, 200) << 100 << 1 << Rects{};
        QTest::newRow("tiles past the view are left out")
            << QSize(200, 200) << QSize(60, 60) << 4 << 4 << Rects{{-20, -20, 50, 50}, {30, -20, 50, 50},
                                                                   {-20, 30, 50, 50}, {30, 30, 50, 50}};
        QTest::newRow("only the part of the block in the view")
            << QSize(40, 40) << QSize(60, 30) << 4 << 1 << Rects{{10, -5, 10, 10}, {20, -5, 10, 10},
                                                                 {30, -5, 10, 10}, {40, -5, 10, 10}};
    }
    void tilesStandFromTheCentredOrigin() {
        QFETCH(QSize, picture);
        QFETCH(QSize, view);
        QFETCH(int, xCopies);
        QFETCH(int, yCopies);
        QFETCH(Rects, tiles);
        const CPreviewTiling tiling(picture.width(), picture.height(), view.width(), view.height(), xCopies, yCopies);
        QVERIFY(tiling.VisibleTiles() == tiles);
    }

    void aHugeCopyCountCostsOnlyTheVisibleTiles() {
        // 5-pixel tiles of a block 1,000,000 wide and tall; the view shows 60 × 40 of them.
        const CPreviewTiling tiling(1000000, 1000000, 300, 200, 200000, 200000);
        QCOMPARE(tiling.TileWidth(), 5);
        QCOMPARE(tiling.OriginX(), -499850);
        const Rects tiles = tiling.VisibleTiles();
        QCOMPARE(tiles.size(), size_t{60 * 40});
        for (const Rect& t : tiles) {
            QVERIFY(t.x + t.width > 0 && t.x < 300);
            QVERIFY(t.y + t.height > 0 && t.y < 200);
        }
        QVERIFY(tiles.front() == (Rect{0, 0, 5, 5}));
        QVERIFY(tiles.back() == (Rect{295, 195, 5, 5}));
    }

    void picturePathOfTheDocument_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("picture");
        QTest::newRow("no document") << "" << ".bmp";
        QTest::newRow("job") << "/jobs/job.prn" << "/jobs/job.prn.bmp";
        QTest::newRow("picture itself") << "/jobs/job.prn.bmp" << "/jobs/job.prn.bmp";
        QTest::newRow("folder named .bmp") << "/a.bmp/job.prt" << "/a.bmp/job.prt.bmp";
    }
    void picturePathOfTheDocument() {
        QFETCH(QString, document);
        QFETCH(QString, picture);
        QCOMPARE(CTessarinView::PicturePathFor(document), picture);
    }

    void theViewDrawsThePictureTiledAsTheLayoutSays() {
        QTemporaryDir dir;
        const QString job = dir.filePath("job.prn");
        CTessarinView view;
        view.resize(300, 200);
        view.SetDocumentPath(job);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(RedPixels(view.grab().toImage()).isEmpty());  // a job without a preview: an empty view

        WriteSolidPicture(job + ".bmp", 90, 60);  // shows at the next paint
        view.OnPreviewWritten(job + ".bmp");
        QList<QPoint> red = RedPixels(view.grab().toImage());
        QCOMPARE(red.size(), 90 * 60);
        QCOMPARE(red.front(), QPoint(105, 70));
        QCOMPARE(red.back(), QPoint(194, 129));

        view.SetLayout(3, 40, 1, 7);  // the spacings are not drawn: tiles touch
        red = RedPixels(view.grab().toImage());
        QCOMPARE(red.size(), 90 * 20);
        QCOMPARE(red.front(), QPoint(105, 70));
        QCOMPARE(red.back(), QPoint(194, 89));

        view.SetLayout(2, 0, 4, 0);
        red = RedPixels(view.grab().toImage());
        QCOMPARE(red.size(), 44 * 60);
        QCOMPARE(red.front(), QPoint(105, 70));
        QCOMPARE(red.back(), QPoint(148, 129));

        view.SetLayout(0, 0, 0, 0);
        QVERIFY(RedPixels(view.grab().toImage()).isEmpty());
        view.SetLayout(1, 0, 1, 0);
        view.SetDocumentPath(QString());
        QVERIFY(RedPixels(view.grab().toImage()).isEmpty());
    }
};

QTEST_MAIN(PreviewViewTest)
#include "PreviewViewTest.moc"
