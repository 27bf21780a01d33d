#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/tovikscreen.h"
#include "support/testmain.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMovie>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>

// The start of the program with and without the startup animation: when the main window
// appears, and what the animation window shows until then, with or without sound.
class AnimationTest : public QObject
{
    Q_OBJECT

private:
    static tovikScreen *animationWindow()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *t = qobject_cast<tovikScreen *>(w))
                return t;
        }
        return nullptr;
    }

private slots:
    void init() { QSettings("Orvu", "Kalvion").clear(); }

    void withoutTheAnimationTheWindowShowsAtOnce()
    {
        MainWindow window;
        QVERIFY(!window.tovik);
        const auto animation = Startup::showMainWindow(window);
        QVERIFY(!animation);
        QVERIFY(!animationWindow());
        QVERIFY(window.isVisible());
    }

    void animationWindowAndMovie()
    {
        tovikScreen screen;
        QCOMPARE(screen.objectName(), QString("tovikScreen"));
        QCOMPARE(screen.windowTitle(), QString("KalvionApp"));
        QCOMPARE(screen.size(), QSize(498, 885));
        QVERIFY(!screen.isModal());
        QVERIFY(screen.maximumSize() != screen.minimumSize());
        QCOMPARE(screen.styleSheet(), QString());
        auto *label = screen.findChild<QLabel *>("tovikLabel");
        QVERIFY(label);
        QCOMPARE(label->geometry(), QRect(0, 0, 498, 885));
        QMovie *movie = label->movie();
        QVERIFY(movie);
        QCOMPARE(movie->scaledSize(), QSize(498, 885));
        QCOMPARE(movie->state(), QMovie::Running);
        QCOMPARE(movie->frameCount(), 145);
    }

    // The whole show, once, in real time. The user closes the window at once; the main window
    // still waits for the end of the show, which no missing audio device delays. The movie
    // gives way to the still after its last frame.
    void theShowEndsAfterSixPointEightSeconds()
    {
        QSettings("Orvu", "Kalvion").setValue("tovik", true);
        MainWindow window;
        QElapsedTimer clock;
        clock.start();
        const auto animation = Startup::showMainWindow(window);
        QVERIFY(animation);
        QVERIFY(animation->isVisible());
        QVERIFY(!window.isVisible());

        auto *label = animation->findChild<QLabel *>("tovikLabel");
        QMovie *movie = label->movie();
        qint64 stillAt = -1;
        connect(movie, &QMovie::frameChanged, this, [&](int frame) {
            if (frame == 144 && !label->movie())
                stillAt = clock.elapsed();
        });
        QSignalSpy stopped(animation.get(), &tovikScreen::gifStopped);
        qint64 shownAt = -1;
        connect(animation.get(), &tovikScreen::gifStopped, this, [&] {
            if (window.isVisible())
                shownAt = clock.elapsed();
            // Time for a second report, which must not come.
            QTimer::singleShot(300, qApp, [] { qApp->exit(0); });
        });

        QTimer::singleShot(200, animation.get(), [&] {
            QTest::keyClick(animation.get(), Qt::Key_Escape);
            QVERIFY(!animation->isVisible());
            QVERIFY(!window.isVisible());
        });
        bool hiddenJustBefore = false;
        QTimer::singleShot(
            6700, Qt::PreciseTimer, &window, [&] { hiddenJustBefore = !window.isVisible(); });
        QTimer::singleShot(9000, qApp, [] { qApp->exit(1); });
        // The program's own event loop: closing the only window shown must not end it.
        QCOMPARE(qApp->exec(), 0);

        QVERIFY(hiddenJustBefore);
        QCOMPARE(stopped.count(), 1);
        QVERIFY2(shownAt >= 6800 && shownAt < 7200, qPrintable(QString::number(shownAt)));
        QVERIFY2(stillAt >= 5600 && stillAt < 6800, qPrintable(QString::number(stillAt)));
        QCOMPARE(label->pixmap().size(), QSize(497, 885));
        QVERIFY(!animation->isVisible());
    }
};

KALVION_TEST_MAIN(AnimationTest)
#include "tst_animation.moc"
