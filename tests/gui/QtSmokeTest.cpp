// The window toolkit builds and runs offscreen here: the ground the window tests stand on.

#include <QtTest>
#include <QWidget>

class QtSmokeTest : public QObject {
    Q_OBJECT
private slots:
    void aWidgetShowsOffscreen() {
        QWidget widget;
        widget.resize(200, 100);
        widget.show();
        QVERIFY(QTest::qWaitForWindowExposed(&widget));
        QCOMPARE(widget.grab().size(), QSize(200, 100));
    }
};

QTEST_MAIN(QtSmokeTest)
#include "QtSmokeTest.moc"
