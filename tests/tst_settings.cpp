#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/tovikscreen.h"
#include "screens/languagescreen.h"
#include "screens/settingsscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"
#include "ui/theme.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

// The settings screen and the language chooser as the user reaches them from the main window,
// and the startup animation that the settings switch on.
class SettingsTest : public QObject
{
    Q_OBJECT

    static void click(QWidget *screen, const char *button)
    {
        child<QPushButton>(screen, button)->click();
    }
    static QString caption(QWidget *screen, const char *button)
    {
        return child<QPushButton>(screen, button)->text();
    }
    static settingsScreen *openSettings(MainWindow &window)
    {
        click(&window, "settingsButton");
        return shown<settingsScreen>();
    }

private slots:
    // Each toggle closes the screen and switches the main window; the next screen offers the way
    // back.
    void togglesNameWhatTheyWillSwitchTo()
    {
        writeStore({ StoredMeter() });
        MainWindow window;
        const auto page = [&] { return child<QWidget>(&window, "centralwidget")->styleSheet(); };
        settingsScreen *settings = openSettings(window);
        QCOMPARE(caption(settings, "darkModeButton"), "Auf Dark Mode wechseln");
        QCOMPARE(caption(settings, "tovikButton"), "Startup Animation einblenden");
        click(settings, "darkModeButton");
        QVERIFY(!settings->isVisible());
        QCOMPARE(page(), Theme::pageStyle(true));
        QListWidgetItem darkItem;
        Theme::colourItem(&darkItem, true);
        QCOMPARE(child<QListWidget>(&window, "deviceList")->item(0)->background(),
            darkItem.background());
        click(openSettings(window), "tovikButton");
        QVERIFY(window.tovik);
        settings = openSettings(window);
        QCOMPARE(caption(settings, "darkModeButton"), "Auf Light Mode wechseln");
        QCOMPARE(caption(settings, "tovikButton"), "Startup Animation ausblenden");
        click(settings, "tovikButton");
        QVERIFY(!window.tovik);
        click(openSettings(window), "darkModeButton");
        QCOMPARE(page(), Theme::pageStyle(false));
    }

    void informationBoxes_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("informativeText");
        const QString link = "<a href='https://www.orvu-messtechnik.de/";
        QTest::newRow("contact")
            << "kontaktButton"
            << "Allgemeine Hotline: +49 711 40893-300 <br> Technische Hotline: +49 711 40893-320"
            << "Den Hyperlink zu allen relevanten Ansprechpartnern finden Sie " + link
                + "kontakt/ansprechpartner/'>hier</a>.";
        QTest::newRow("about") << "lizenzButton"
                               << "Copyright © 2026 Orvu Messtechnik GmbH"
                               << "Version 1.0.0";
    }

    // A box without parent stands alone in place of the hidden screen, which comes back as it was.
    void informationBoxes()
    {
        QFETCH(QString, button);
        writeStore({}, { true });
        MainWindow window;
        window.show();
        settingsScreen *settings = openSettings(window);
        ModalAnswer answer(QMessageBox::Ok);
        click(settings, qPrintable(button));
        QVERIFY(answer.done());
        QTEST(answer.box().text, "text");
        QTEST(answer.box().informativeText, "informativeText");
        QCOMPARE(answer.box().textFormat, button == "lizenzButton" ? Qt::AutoText : Qt::RichText);
        QCOMPARE(answer.box().windows, QStringList({ "MainWindow" }));
        QCOMPARE(answer.box().parentName + answer.box().title, "");
        QVERIFY(settings->isVisible());
        QCOMPARE(settings->styleSheet(), Theme::pageStyle(true));
    }

    // Only a choice changes the language, and what is opened afterwards speaks it.
    void switchingTheLanguage()
    {
        writeStore({});
        MainWindow window;
        click(openSettings(window), "languageButton");
        QVERIFY(!shown<settingsScreen>());
        QTest::keyClick(shown<languageScreen>(), Qt::Key_Escape);
        QVERIFY(!shown<languageScreen>());
        QCOMPARE(caption(&window, "connectButton"), "Verbinden");
        click(openSettings(window), "languageButton");
        click(shown<languageScreen>(), "englishButton");
        QVERIFY(!shown<languageScreen>() && !shown<settingsScreen>());
        QCOMPARE(caption(&window, "connectButton"), "Connect");
        QCOMPARE(caption(openSettings(window), "languageButton"), "Change language");
        click(shown<settingsScreen>(), "languageButton");
        click(shown<languageScreen>(), "germanButton");
        QCOMPARE(caption(&window, "settingsButton"), "Menü");
    }

    void withoutTheAnimationTheWindowShowsAtOnce()
    {
        writeStore({});
        MainWindow window;
        QVERIFY(!Startup::showMainWindow(window));
        QVERIFY(window.isVisible());
    }

    // The whole show once, in real time, on the program's own event loop. The user closes the
    // animation at once: that ends neither the program nor the show, and the main window comes
    // once, when the 6.8 s are over. By then the still has taken the movie's place.
    void theAnimationComesFirst()
    {
        writeStore({}, { false, true });
        MainWindow window;
        QElapsedTimer clock;
        clock.start();
        const auto animation = Startup::showMainWindow(window);
        QVERIFY(animation && animation->isVisible() && !window.isVisible());
        QSignalSpy stopped(animation.get(), &tovikScreen::gifStopped);
        qint64 shownAt = -1;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (window.isVisible() && shownAt < 0) {
                shownAt = clock.elapsed();
                QTimer::singleShot(500, qApp, [] { qApp->exit(0); }); // room for a second report
            }
        });
        watch.start(10);
        QTimer::singleShot(
            0, animation.get(), [&] { QTest::keyClick(animation.get(), Qt::Key_Escape); });
        QTimer::singleShot(60000, qApp, [] { qApp->exit(1); });
        QCOMPARE(qApp->exec(), 0);
        QCOMPARE(stopped.count(), 1);
        QVERIFY2(shownAt >= 6800, qPrintable(QString("shown after %1 ms").arg(shownAt)));
        QCOMPARE(animation->findChild<QLabel *>("tovikLabel")->pixmap().size(), QSize(497, 885));
    }
};

KALVION_TEST_MAIN(SettingsTest)
#include "tst_settings.moc"
