#include "app/mainwindow.h"
#include "screens/languagescreen.h"
#include "screens/settingsscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"
#include "ui/theme.h"

#include <QPushButton>

// The settings screen and the language chooser as the user reaches them from the main window.
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
        QTest::newRow("imprint") << "impressumButton"
                                 << "Den Hyperlink zum aktuellsten Impressum finden Sie " + link
                + "impressum/'>hier</a>."
                                 << "";
        QTest::newRow("contact")
            << "kontaktButton"
            << "Allgemeine Hotline: +49 711 40893-300 <br> Technische Hotline: +49 711 40893-320"
            << "Den Hyperlink zu allen relevanten Ansprechpartnern finden Sie " + link
                + "kontakt/ansprechpartner/'>hier</a>.";
        QTest::newRow("privacy")
            << "datenschutzButton"
            << "Den Hyperlink zur aktuell gültigen Datenschutzerklärung finden Sie " + link
                + "datenschutz-app/'>hier</a>."
            << "";
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
};

KALVION_TEST_MAIN(SettingsTest)
#include "tst_settings.moc"
