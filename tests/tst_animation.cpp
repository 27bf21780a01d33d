#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/tovikscreen.h"
#include "support/storedmeter.h"
#include "support/testmain.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMovie>
#include <QSignalSpy>

// The start of the program with and without the startup animation.
class AnimationTest : public QObject
{
    Q_OBJECT

private slots:
    void withoutTheAnimationTheWindowShowsAtOnce()
    {
        writeStore({});
        MainWindow window;
        QVERIFY(!Startup::showMainWindow(window));
        QVERIFY(window.isVisible());
    }

    // The whole show once, in real time, on the program's own event loop. The user closes the
    // animation at once: that must end neither the program nor the show, and the main window
    // comes after the still, when the 6.8 s are over, and only once.
    void theMainWindowComesWhenTheShowIsOver()
    {
        writeStore({}, { false, true });
        MainWindow window;
        QElapsedTimer clock;
        clock.start();
        const auto animation = Startup::showMainWindow(window);
        QVERIFY(animation && animation->isVisible() && !window.isVisible());
        auto *label = animation->findChild<QLabel *>("tovikLabel");
        qint64 stillAt = -1, shownAt = -1;
        connect(label->movie(), &QMovie::frameChanged, this, [&] {
            if (!label->movie() && stillAt < 0)
                stillAt = clock.elapsed();
        });
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (window.isVisible() && shownAt < 0)
                shownAt = clock.elapsed();
        });
        watch.start(10);
        QSignalSpy stopped(animation.get(), &tovikScreen::gifStopped);
        connect(animation.get(), &tovikScreen::gifStopped, this, [] {
            QTimer::singleShot(500, qApp, [] { qApp->exit(0); }); // room for a second report
        });
        QTimer::singleShot(
            0, animation.get(), [&] { QTest::keyClick(animation.get(), Qt::Key_Escape); });
        QTimer::singleShot(60000, qApp, [] { qApp->exit(1); });
        QCOMPARE(qApp->exec(), 0);
        QCOMPARE(stopped.count(), 1);
        QVERIFY2(stillAt >= 144 * 40 && shownAt > stillAt && shownAt >= 6800,
            qPrintable(QString("still at %1 ms, window at %2 ms").arg(stillAt).arg(shownAt)));
        QCOMPARE(label->pixmap().size(), QSize(497, 885));
    }
};

KALVION_TEST_MAIN(AnimationTest)
#include "tst_animation.moc"
