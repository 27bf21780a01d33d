#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/tovikscreen.h"
#include "support/storedmeter.h"
#include "support/testmain.h"

#include <QElapsedTimer>
#include <QImageReader>
#include <QLabel>
#include <QMovie>
#include <QSignalSpy>
#include <QtEndian>

// The start with and without the startup animation, and the media whose lengths its timers
// rest on.
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

    void media()
    {
        QImageReader movie(":/gif/tovik.gif");
        QCOMPARE(movie.size(), QSize(1080, 1920));
        QCOMPARE(movie.imageCount(), 145);
        QCOMPARE(movie.loopCount(), -1);
        QImage last;
        for (int frame = 0; movie.read(&last); ++frame)
            QCOMPARE(movie.nextImageDelay(), 40);
        QImageReader still(":/image/tovik_last_frame.png");
        QCOMPARE(still.format(), "gif");
        QCOMPARE(still.read().convertToFormat(QImage::Format_RGB32),
            last.convertToFormat(QImage::Format_RGB32));
        // PCM, 2 channels, 44.1 kHz, 16 bits, in the plain header the media tool writes.
        for (const auto &[path, ms] :
            { std::pair{ ":/sound/footsteps.wav", 5000 }, { ":/sound/buzz.wav", 1090 } }) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray head = file.read(44);
            QCOMPARE(head.mid(12, 4), "fmt ");
            QCOMPARE(head.mid(20, 4), QByteArray::fromHex("01000200"));
            QCOMPARE(qFromLittleEndian<quint32>(head.constData() + 24), 44100u);
            QCOMPARE(qFromLittleEndian<quint16>(head.constData() + 34), quint16(16));
            QCOMPARE(head.mid(36, 4), "data");
            QVERIFY(qAbs(qFromLittleEndian<quint32>(head.constData() + 40) / 176.4 - ms) < 10);
        }
    }
};

KALVION_TEST_MAIN(AnimationTest)
#include "tst_animation.moc"
