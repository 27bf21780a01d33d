#include "app/mainwindow.h"
#include "link/newdevicescreen.h"
#include "screens/languagescreen.h"
#include "screens/settingsscreen.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QListWidget>
#include <QPushButton>
#include <QSettings>

// The settings screen and the language chooser as the user reaches them from the main window:
// their forms and captions, the toggles, the information boxes, and switching the language.
class SettingsTest : public QObject
{
    Q_OBJECT

private:

    static QStringList captions(QWidget *screen)
    {
        QStringList result;
        for (QPushButton *button : screen->findChildren<QPushButton *>())
            result.append(button->text());
        return result;
    }

    static QStringList mainCaptions(MainWindow &window)
    {
        QStringList result;
        for (const char *name :
            { "settingsButton", "newDeviceButton", "connectButton", "editButton" })
            result.append(child<QPushButton>(&window, name)->text());
        return result;
    }

    static void storeOptions(bool dark, bool animation, int language)
    {
        QSettings s("Orvu", "Kalvion");
        s.setValue("darkMode", dark);
        s.setValue("tovik", animation);
        s.setValue("language", language);
    }

    static settingsScreen *openSettings(MainWindow &window)
    {
        child<QPushButton>(&window, "settingsButton")->click();
        auto *settings = shown<settingsScreen>();
        if (!settings)
            qFatal("no settings screen");
        return settings;
    }

    static languageScreen *openChooser(MainWindow &window)
    {
        child<QPushButton>(openSettings(window), "languageButton")->click();
        auto *chooser = shown<languageScreen>();
        if (!chooser)
            qFatal("no language chooser");
        return chooser;
    }

    // The buttons in the order the form creates them, with where they stand and their font
    // size.
    static QList<std::tuple<QString, QRect, int>> buttonLayout(QWidget *screen)
    {
        QList<std::tuple<QString, QRect, int>> result;
        for (QPushButton *button : screen->findChildren<QPushButton *>())
            result.append({ button->objectName(), button->geometry(), button->font().pointSize() });
        return result;
    }

private slots:
    void init() { QSettings("Orvu", "Kalvion").clear(); }

    void settingsScreenShowsBothFlags_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<bool>("dark");
        QTest::addColumn<bool>("animation");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("German, light, animation off")
            << 0 << false << false
            << QStringList{ "Startup Animation einblenden", "Auf Dark Mode wechseln", "Impressum",
                   "Kontakt", "Datenschutz", "About", "Sprache wechseln" };
        QTest::newRow("German, dark, animation on")
            << 0 << true << true
            << QStringList{ "Startup Animation ausblenden", "Auf Light Mode wechseln", "Impressum",
                   "Kontakt", "Datenschutz", "About", "Sprache wechseln" };
        QTest::newRow("English, light, animation on")
            << 1 << false << true
            << QStringList{ "Disable startup animation", "Switch to dark mode", "Imprint",
                   "Contact", "Data privacy", "About", "Change language" };
        QTest::newRow("English, dark, animation off")
            << 1 << true << false
            << QStringList{ "Enable startup animation", "Switch to light mode", "Imprint",
                   "Contact", "Data privacy", "About", "Change language" };
    }

    void settingsScreenShowsBothFlags()
    {
        QFETCH(int, language);
        QFETCH(bool, dark);
        QFETCH(bool, animation);
        QFETCH(QStringList, expected);
        storeOptions(dark, animation, language);
        MainWindow window;
        window.show();
        settingsScreen *settings = openSettings(window);

        QCOMPARE(captions(settings), expected);
        QCOMPARE(settings->isDarkMode, dark);
        QCOMPARE(settings->isTovik, animation);
        QVERIFY(settings->isModal());
        QCOMPARE(settings->windowTitle(), QString("KalvionApp"));
        QCOMPARE(settings->minimumSize(), QSize(400, 448));
        QCOMPARE(settings->maximumSize(), QSize(400, 448));
        const QList<std::tuple<QString, QRect, int>> layout = {
            { "tovikButton", { 100, 80, 191, 41 }, 10 },
            { "darkModeButton", { 100, 20, 191, 41 }, 10 },
            { "impressumButton", { 100, 140, 191, 41 }, 10 },
            { "kontaktButton", { 100, 200, 191, 41 }, 10 },
            { "datenschutzButton", { 100, 260, 191, 41 }, 10 },
            { "lizenzButton", { 100, 320, 191, 41 }, 10 },
            { "languageButton", { 100, 380, 191, 41 }, 10 },
        };
        QCOMPARE(buttonLayout(settings), layout);
        // Every caption fits inside the button's 2 pixel border.
        for (QPushButton *button : settings->findChildren<QPushButton *>()) {
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <= 191 - 4,
                qPrintable(button->text()));
        }
    }

    // Each toggle reaches the main window while the screen is still open, then closes it; the
    // next screen offers the way back.
    void togglesCloseAndTheNextScreenOffersTheOpposite()
    {
        MainWindow window;
        window.show();
        settingsScreen *settings = openSettings(window);
        bool openWhenSent = false;
        connect(settings, &settingsScreen::changeDarkMode, this,
            [&] { openWhenSent = settings->isVisible(); });
        child<QPushButton>(settings, "darkModeButton")->click();
        QVERIFY(openWhenSent);
        QVERIFY(!settings->isVisible());
        QCOMPARE(child<QWidget>(&window, "centralwidget")->styleSheet(),
            QString("background-color: #202020"));

        settings = openSettings(window);
        QCOMPARE(captions(settings).mid(0, 2),
            QStringList({ "Startup Animation einblenden", "Auf Light Mode wechseln" }));
        connect(settings, &settingsScreen::changeTovik, this,
            [&] { openWhenSent = settings->isVisible(); });
        openWhenSent = false;
        child<QPushButton>(settings, "tovikButton")->click();
        QVERIFY(openWhenSent);
        QVERIFY(!settings->isVisible());
        QCOMPARE(window.tovik, true);

        settings = openSettings(window);
        QCOMPARE(captions(settings).mid(0, 2),
            QStringList({ "Startup Animation ausblenden", "Auf Light Mode wechseln" }));
        child<QPushButton>(settings, "tovikButton")->click();
        QCOMPARE(window.tovik, false);
        child<QPushButton>(openSettings(window), "darkModeButton")->click();
        QCOMPARE(child<QWidget>(&window, "centralwidget")->styleSheet(),
            QString("background-color: white"));
        QCOMPARE(captions(openSettings(window)).mid(0, 2),
            QStringList({ "Startup Animation einblenden", "Auf Dark Mode wechseln" }));
    }

    void informationBoxes_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("informativeText");
        QTest::addColumn<Qt::TextFormat>("format");
        const QString site = "https://www.orvu-messtechnik.de";
        QTest::newRow("imprint, German")
            << 0 << "impressumButton"
            << "Den Hyperlink zum aktuellsten Impressum finden Sie <a href='" + site
                + "/impressum/'>hier</a>."
            << QString() << Qt::RichText;
        QTest::newRow("imprint, English")
            << 1 << "impressumButton"
            << "You can find the current imprint <a href='" + site + "/impressum/'>here</a>."
            << QString() << Qt::RichText;
        QTest::newRow("contact, German")
            << 0 << "kontaktButton"
            << "Allgemeine Hotline: +49 711 40893-300 <br> Technische Hotline: "
               "+49 711 40893-320"
            << "Den Hyperlink zu allen relevanten Ansprechpartnern finden Sie <a href='" + site
                + "/kontakt/ansprechpartner/'>hier</a>."
            << Qt::RichText;
        QTest::newRow("contact, English")
            << 1 << "kontaktButton"
            << "General Hotline: +49 711 40893-300 <br> Technical Hotline: "
               "+49 711 40893-320"
            << "You can find all relevant contacts <a href='" + site
                + "/kontakt/ansprechpartner/'>here</a>."
            << Qt::RichText;
        QTest::newRow("privacy, German")
            << 0 << "datenschutzButton"
            << "Den Hyperlink zur aktuell gültigen Datenschutzerklärung finden Sie <a href='" + site
                + "/datenschutz-app/'>hier</a>."
            << QString() << Qt::RichText;
        QTest::newRow("privacy, English") << 1 << "datenschutzButton"
                                          << "You can find the current data policy <a href='" + site
                + "/datenschutz-app/'>here</a>."
                                          << QString() << Qt::RichText;
        for (int language : { 0, 1 }) {
            QTest::addRow("about, %s", language ? "English" : "German")
                << language << "lizenzButton"
                << "Copyright © 2026 Orvu Messtechnik GmbH"
                << "Version 1.0.0" << Qt::AutoText;
        }
    }

    // A box stands alone in place of the hidden screen, which comes back as it was.
    void informationBoxes()
    {
        QFETCH(int, language);
        QFETCH(QString, button);
        QFETCH(QString, text);
        QFETCH(QString, informativeText);
        QFETCH(Qt::TextFormat, format);
        storeOptions(true, false, language);
        MainWindow window;
        window.show();
        settingsScreen *settings = openSettings(window);
        const QStringList before = captions(settings);

        ModalAnswer answer(QMessageBox::Ok);
        child<QPushButton>(settings, qPrintable(button))->click();
        QVERIFY(answer.done());
        const ModalAnswer::Seen &box = answer.box();
        QCOMPARE(box.text, text);
        QCOMPARE(box.informativeText, informativeText);
        QCOMPARE(box.textFormat, format);
        QCOMPARE(box.title, QString());
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons, QMessageBox::Ok);
        QCOMPARE(box.parentName, QString());
        QCOMPARE(box.windows, QStringList({ "MainWindow" }));

        QVERIFY(settings->isVisible());
        QVERIFY(settings->isModal());
        QCOMPARE(captions(settings), before);
    }

    // The settings screen gives way to the chooser; only a choice changes the language, and
    // everything opened afterwards speaks it.
    void switchingTheLanguage()
    {
        MainWindow window;
        window.show();
        QCOMPARE(mainCaptions(window),
            QStringList({ "Menü", "Neues Gerät hinzufügen", "Verbinden", "Verwalten" }));

        settingsScreen *settings = openSettings(window);
        bool settingsOpenWhenSent = true;
        connect(settings, &settingsScreen::showLanguageScreen, this,
            [&] { settingsOpenWhenSent = settings->isVisible(); });
        child<QPushButton>(settings, "languageButton")->click();
        QVERIFY(!settingsOpenWhenSent);
        QVERIFY(!settings->isVisible());
        languageScreen *chooser = shown<languageScreen>();
        QVERIFY(chooser);
        QVERIFY(chooser->isModal());
        QCOMPARE(chooser->windowTitle(), QString("KalvionApp"));
        QCOMPARE(chooser->minimumSize(), QSize(400, 155));
        QCOMPARE(chooser->maximumSize(), QSize(400, 155));
        const QList<std::tuple<QString, QRect, int>> layout = {
            { "germanButton", { 110, 20, 191, 41 }, 10 },
            { "englishButton", { 110, 80, 191, 41 }, 10 },
        };
        QCOMPARE(buttonLayout(chooser), layout);
        QCOMPARE(captions(chooser), QStringList({ "Deutsch", "English" }));

        // Leaving the chooser without a choice keeps the language.
        QTest::keyClick(chooser, Qt::Key_Escape);
        QVERIFY(!chooser->isVisible());
        openChooser(window)->close();
        QCOMPARE(mainCaptions(window).first(), QString("Menü"));

        chooser = openChooser(window);
        bool chooserOpenWhenSent = false;
        connect(chooser, &languageScreen::changeLanguage, this,
            [&] { chooserOpenWhenSent = chooser->isVisible(); });
        child<QPushButton>(chooser, "englishButton")->click();
        QVERIFY(chooserOpenWhenSent);
        QVERIFY(!shown<languageScreen>());
        QVERIFY(!shown<settingsScreen>());
        QCOMPARE(
            mainCaptions(window), QStringList({ "Menu", "Add new device", "Connect", "Edit" }));

        ModalAnswer unselected(QMessageBox::Ok);
        child<QPushButton>(&window, "connectButton")->click();
        QCOMPARE(unselected.box().title, QString("No device selected"));
        QCOMPARE(
            unselected.box().text, QString("Please select a device which you want to connect to!"));

        child<QPushButton>(&window, "newDeviceButton")->click();
        auto *discovery = shown<newDeviceScreen>();
        QVERIFY(discovery);
        QCOMPARE(captions(discovery), QStringList({ "Add", "Search", "Cancel" }));
        ModalAnswer nothingPicked(QMessageBox::Ok);
        child<QPushButton>(discovery, "confirmButton")->click();
        QCOMPARE(nothingPicked.box().title, QString("No device selected"));
        QCOMPARE(
            nothingPicked.box().text, QString("Please choose a device which you want to add!"));
        discovery->close();

        ModalAnswer stay(QMessageBox::No);
        QVERIFY(!window.close());
        QCOMPARE(stay.box().text, QString("Do you really want to close the application?\n"));

        child<QPushButton>(openChooser(window), "germanButton")->click();
        QCOMPARE(mainCaptions(window),
            QStringList({ "Menü", "Neues Gerät hinzufügen", "Verbinden", "Verwalten" }));
        QCOMPARE(captions(openSettings(window)).mid(2),
            QStringList({ "Impressum", "Kontakt", "Datenschutz", "About", "Sprache wechseln" }));
    }

    // Only 0 and 1 name a language; anything else an older or damaged store holds is German,
    // and German is what the next confirmed close writes back.
    void unknownStoredLanguageIsGerman()
    {
        storeOptions(false, false, 7);
        MainWindow window;
        window.show();
        QCOMPARE(mainCaptions(window),
            QStringList({ "Menü", "Neues Gerät hinzufügen", "Verbinden", "Verwalten" }));
        QCOMPARE(captions(openSettings(window)).first(), QString("Startup Animation einblenden"));
        shown<settingsScreen>()->close();

        ModalAnswer yes(QMessageBox::Yes);
        QVERIFY(window.close());
        QCOMPARE(yes.box().text, QString("Wollen Sie die Anwendung wirklich schließen?\n"));
        QCOMPARE(QSettings("Orvu", "Kalvion").value("language").toInt(), 0);
    }
};

KALVION_TEST_MAIN(SettingsTest)
#include "tst_settings.moc"
