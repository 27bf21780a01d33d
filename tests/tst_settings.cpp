#include "app/mainwindow.h"
#include "screens/languagescreen.h"
#include "screens/settingsscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"
#include "ui/theme.h"

#include <QPushButton>
#include <QSettings>

namespace {

void click(QWidget *screen, const char *button)
{
    child<QPushButton>(screen, button)->click();
}

settingsScreen *openSettings(MainWindow &window)
{
    click(&window, "settingsButton");
    return shown<settingsScreen>();
}

QStringList captions(QWidget *screen, const QStringList &buttons)
{
    QStringList result;
    for (const QString &name : buttons)
        result.append(child<QPushButton>(screen, qPrintable(name))->text());
    return result;
}

const QStringList mainButtons
    = { "settingsButton", "newDeviceButton", "connectButton", "editButton" };
const QStringList toggles = { "darkModeButton", "tovikButton" };

} // namespace

// The settings screen and the language chooser as the user reaches them from the main window.
class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void togglesNameWhatTheyWillSwitchTo_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("captions"); // dark, light, animation on, animation off
        QTest::newRow("German") << 0
                                << QStringList{ "Auf Dark Mode wechseln", "Auf Light Mode wechseln",
                                       "Startup Animation einblenden",
                                       "Startup Animation ausblenden" };
        QTest::newRow("English") << 1
                                 << QStringList{ "Switch to dark mode", "Switch to light mode",
                                        "Enable startup animation", "Disable startup animation" };
    }

    // Each toggle closes the screen and changes the main window; the next screen offers the way
    // back.
    void togglesNameWhatTheyWillSwitchTo()
    {
        QFETCH(int, language);
        QFETCH(QStringList, captions);
        writeStore({}, { false, false, language });
        MainWindow window;
        window.show();
        settingsScreen *settings = openSettings(window);
        QCOMPARE(::captions(settings, toggles), QStringList({ captions[0], captions[2] }));
        click(settings, "darkModeButton");
        QVERIFY(!settings->isVisible());
        QCOMPARE(child<QWidget>(&window, "centralwidget")->styleSheet(), Theme::pageStyle(true));
        click(openSettings(window), "tovikButton");
        QVERIFY(window.tovik);
        settings = openSettings(window);
        QCOMPARE(::captions(settings, toggles), QStringList({ captions[1], captions[3] }));
        click(settings, "tovikButton");
        click(openSettings(window), "darkModeButton");
        QVERIFY(!window.tovik);
        QCOMPARE(child<QWidget>(&window, "centralwidget")->styleSheet(), Theme::pageStyle(false));
        QCOMPARE(
            ::captions(openSettings(window), toggles), QStringList({ captions[0], captions[2] }));
    }

    void informationBoxes_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("informativeText");
        const QString site = "<a href='https://www.orvu-messtechnik.de/";
        QTest::newRow("imprint") << 0 << "impressumButton"
                                 << "Den Hyperlink zum aktuellsten Impressum finden Sie " + site
                + "impressum/'>hier</a>."
                                 << "";
        QTest::newRow("contact")
            << 1 << "kontaktButton"
            << "General Hotline: +49 711 40893-300 <br> Technical Hotline: +49 711 40893-320"
            << "You can find all relevant contacts " + site + "kontakt/ansprechpartner/'>here</a>.";
        QTest::newRow("privacy")
            << 0 << "datenschutzButton"
            << "Den Hyperlink zur aktuell gültigen Datenschutzerklärung finden "
               "Sie "
                + site + "datenschutz-app/'>hier</a>."
            << "";
        QTest::newRow("about") << 1 << "lizenzButton"
                               << "Copyright © 2026 Orvu Messtechnik GmbH"
                               << "Version 1.0.0";
    }

    // A box without parent stands alone in place of the hidden screen, which comes back as it was.
    void informationBoxes()
    {
        QFETCH(int, language);
        QFETCH(QString, button);
        writeStore({}, { true, false, language });
        MainWindow window;
        window.show();
        settingsScreen *settings = openSettings(window);
        ModalAnswer answer(QMessageBox::Ok);
        click(settings, qPrintable(button));
        QVERIFY(answer.done());
        const ModalAnswer::Seen &box = answer.box();
        QTEST(box.text, "text");
        QTEST(box.informativeText, "informativeText");
        QCOMPARE(box.textFormat, button == "lizenzButton" ? Qt::AutoText : Qt::RichText);
        QCOMPARE(box.buttons, QMessageBox::Ok);
        QCOMPARE(box.parentName, QString());
        QCOMPARE(box.windows, QStringList({ "MainWindow" }));
        QVERIFY(settings->isVisible() && settings->isModal());
        QCOMPARE(
            child<QPushButton>(settings, "darkModeButton")->styleSheet(), Theme::buttonStyle(true));
    }

    // Only a choice changes the language, and everything opened afterwards speaks it.
    void switchingTheLanguage()
    {
        writeStore({});
        MainWindow window;
        window.show();
        const QStringList german = captions(&window, mainButtons);
        click(openSettings(window), "languageButton");
        QVERIFY(!shown<settingsScreen>());
        QTest::keyClick(shown<languageScreen>(), Qt::Key_Escape);
        QVERIFY(!shown<languageScreen>());
        QCOMPARE(captions(&window, mainButtons), german);

        click(openSettings(window), "languageButton");
        click(shown<languageScreen>(), "englishButton");
        QVERIFY(!shown<languageScreen>() && !shown<settingsScreen>());
        QCOMPARE(captions(&window, mainButtons),
            QStringList({ "Menu", "Add new device", "Connect", "Edit" }));
        ModalAnswer unselected(QMessageBox::Ok);
        click(&window, "connectButton");
        QCOMPARE(unselected.box().title, "No device selected");
        QCOMPARE(
            captions(openSettings(window), { "languageButton" }), QStringList{ "Change language" });
        click(shown<settingsScreen>(), "languageButton");
        click(shown<languageScreen>(), "germanButton");
        QCOMPARE(captions(&window, mainButtons), german);
    }

    // Only 0 and 1 name a language; anything else a damaged store holds is German, and German
    // is what the next confirmed close writes back.
    void unknownStoredLanguageIsGerman()
    {
        writeStore({}, { false, false, 7 });
        MainWindow window;
        window.show();
        QCOMPARE(captions(&window, mainButtons),
            QStringList({ "Menü", "Neues Gerät hinzufügen", "Verbinden", "Verwalten" }));
        ModalAnswer yes(QMessageBox::Yes);
        QVERIFY(window.close());
        QCOMPARE(yes.box().text, "Wollen Sie die Anwendung wirklich schließen?\n");
        QCOMPARE(QSettings("Orvu", "Kalvion").value("language").toInt(), 0);
    }
};

KALVION_TEST_MAIN(SettingsTest)
#include "tst_settings.moc"
