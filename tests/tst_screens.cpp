#include "app/mainwindow.h"
#include "app/startup.h"
#include "store/store.h"
#include "app/tovikscreen.h"
#include "link/loadingscreen.h"
#include "link/newdevicescreen.h"
#include "link/search.h"
#include "live/connectionscreen.h"
#include "live/recording.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/languagescreen.h"
#include "screens/measureoverview.h"
#include "screens/settingsscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"
#include "ui/theme.h"

#include <QBluetoothDeviceInfo>
#include <QElapsedTimer>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

// The screens around the main window as the user opens them: finding meters, settings,
// language, the startup animation, the boxes of the management screen, and every screen's
// captions and theme.
class ScreensTest : public QObject
{
    Q_OBJECT

    VirtualMeter meter;
    QMap<QString, std::pair<QString, bool>> looks[2]; // style, shows text; light and dark

    void look(QWidget *screen, bool dark)
    {
        QVERIFY(screen);
        QList<QWidget *> widgets = screen->findChildren<QWidget *>();
        for (QWidget *w : widgets << screen) {
            auto *label = qobject_cast<QLabel *>(w);
            auto *button = qobject_cast<QPushButton *>(w);
            const QString caption = label ? label->text() : button ? button->text() : QString();
            const int room = w->width() - (button ? 6 : 0); // a button's border takes 3 pixels
            QVERIFY2(w->fontMetrics().horizontalAdvance(caption) <= room, qPrintable(caption));
            const QString name
                = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
            looks[dark][screen->objectName() + "/" + name] = { w->styleSheet(),
                !caption.isEmpty() || button || qobject_cast<QLCDNumber *>(w) };
        }
        // Every list item wears the theme's item colours.
        for (QListWidget *list : screen->findChildren<QListWidget *>()) {
            for (int r = 0; r < list->count(); ++r) {
                QCOMPARE(list->item(r)->background().color(), QColor(dark ? "#555555" : "#EEEEEE"));
                QCOMPARE(list->item(r)->foreground().color(), QColor(dark ? "white" : "black"));
            }
        }
    }

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
    void settingsAndLanguage()
    {
        writeStore({});
        MainWindow window;
        QVERIFY(!Startup::showMainWindow(window) && window.isVisible()); // no animation: at once
        const auto page = [&] { return child<QWidget>(&window, "centralwidget")->styleSheet(); };

        // The maker's boxes stand in for the screen, which comes back after them.
        settingsScreen *settings = openSettings(window);
        ModalAnswer answer(QList<ModalAnswer::Reply>(2, ModalAnswer::press(QMessageBox::Ok)));
        click(settings, "kontaktButton");
        click(settings, "lizenzButton");
        QVERIFY(answer.done() && settings->isVisible());
        QCOMPARE(answer.box().text,
            "Allgemeine Hotline: +49 711 40893-300 <br> Technische Hotline: +49 711 40893-320");
        QCOMPARE(answer.box().informativeText,
            "Den Hyperlink zu allen relevanten Ansprechpartnern finden Sie <a "
            "href='https://www.orvu-messtechnik.de/kontakt/ansprechpartner/'>hier</a>.");
        QCOMPARE(answer.seen()[1].text + "|" + answer.seen()[1].informativeText,
            "Copyright © 2026 Orvu Messtechnik GmbH|Version 1.0.0");

        // Each toggle closes the screen and switches; the next screen offers the way back.
        QCOMPARE(caption(settings, "darkModeButton"), "Auf Dark Mode wechseln");
        QCOMPARE(caption(settings, "tovikButton"), "Startup Animation einblenden");
        click(settings, "darkModeButton");
        QVERIFY(!settings->isVisible());
        QCOMPARE(page(), Theme::pageStyle(true));
        click(openSettings(window), "tovikButton");
        QVERIFY(window.tovik);
        QTRY_COMPARE(UserStore().value("tovik").toString(), QString("true"));
        settings = openSettings(window);
        QCOMPARE(caption(settings, "darkModeButton"), "Auf Light Mode wechseln");
        QCOMPARE(caption(settings, "tovikButton"), "Startup Animation ausblenden");
        click(settings, "tovikButton");
        QVERIFY(!window.tovik);
        click(openSettings(window), "darkModeButton");
        QCOMPARE(page(), Theme::pageStyle(false));

        // Only a choice changes the language, and what is opened afterwards speaks it.
        click(openSettings(window), "languageButton");
        QVERIFY(!shown<settingsScreen>());
        QTest::keyClick(shown<languageScreen>(), Qt::Key_Escape);
        QVERIFY(!shown<languageScreen>());
        QCOMPARE(caption(&window, "connectButton"), "Verbinden");
        click(openSettings(window), "languageButton");
        click(shown<languageScreen>(), "englishButton");
        QVERIFY(!shown<languageScreen>() && !shown<settingsScreen>());
        QCOMPARE(caption(&window, "connectButton"), "Connect");
        QTRY_COMPARE(UserStore().value("language").toInt(), 1);
        QCOMPARE(caption(openSettings(window), "languageButton"), "Change language");
    }

    // The whole show, in real time, on the program's own event loop. The user closes the
    // animation at once: that ends neither the program nor the show, and the main window comes
    // when the 6.8 s are over.
    void theAnimationComesFirst()
    {
        writeStore({}, { false, true });
        MainWindow window;
        QElapsedTimer clock;
        clock.start();
        const auto animation = Startup::showMainWindow(window);
        QVERIFY(animation && animation->isVisible() && !window.isVisible());
        // Ends the loop with 0 once the main window shows, 6.8 s in, else with what went wrong.
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (window.isVisible())
                qApp->exit(clock.elapsed() >= 6800 ? 0 : int(clock.elapsed()));
        });
        watch.start(10);
        QTimer::singleShot(
            0, animation.get(), [&] { QTest::keyClick(animation.get(), Qt::Key_Escape); });
        QTimer::singleShot(60000, qApp, [] { qApp->exit(-1); });
        QCOMPARE(qApp->exec(), 0);
        QVERIFY(window.isVisible()); // not ended by the closed animation
    }

    void boxesOverTheScreen_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    // Without a measurement every measurement button warns. Only Yes deletes, the selected row;
    // a rename left empty or cancelled changes nothing, and offers the current name. Over a dark
    // screen a box sits on a white page, the screen out of sight, and the screen is dark again
    // after it; a light screen stays behind the delete question.
    void boxesOverTheScreen()
    {
        QFETCH(bool, dark);
        deviceOverviewScreen screen(0);
        screen.setDarkMode(dark);
        screen.isDarkMode = dark;
        screen.show();
        QSignalSpy deleted(&screen, &deviceOverviewScreen::measureDeleted);
        QSignalSpy opened(&screen, &deviceOverviewScreen::openMeasures);
        QSignalSpy renamed(&screen, &deviceOverviewScreen::measureNameChanged);
        using A = ModalAnswer;
        ModalAnswer answer({ A::press(QMessageBox::Ok), A::dismiss(), A::press(QMessageBox::Ok),
            A::press(QMessageBox::No), A::press(QMessageBox::Cancel), A::dismiss(),
            A::press(QMessageBox::Yes), A::enter(""), A::dismiss(), A::press(QMessageBox::Ok),
            A::enter(" Akku ") });
        for (const char *name :
            { "deleteMeasureButton", "openMeasureButton", "measureRenameButton" })
            click(&screen, name);
        QCOMPARE(deleted.count() + opened.count() + renamed.count(), 0);
        for (const char *name : { "a", "b", "c" })
            screen.setCurrentElement(name);
        auto *list = child<QListWidget>(&screen, "measureList");
        list->setCurrentRow(1);
        for (int k = 0; k < 4; ++k)
            click(&screen, "deleteMeasureButton");
        QCOMPARE(deleted, QList<QVariantList>{ { 1 } });
        for (int k = 0; k < 4; ++k)
            click(&screen, "measureRenameButton");
        QVERIFY(answer.done());
        QCOMPARE(renamed, QList<QVariantList>({ { 1, "c" }, { 1, " Akku " } }));
        QCOMPARE(entries(list), QStringList({ "a", " Akku " }));
        QCOMPARE(screen.styleSheet(), Theme::pageStyle(dark));

        const QList<ModalAnswer::Seen> &boxes = answer.seen();
        for (int k = 0; k < boxes.size(); ++k) {
            const ModalAnswer::Seen &box = boxes[k];
            QCOMPARE(k < 3 ? box.title : box.title + box.text + box.value,
                k < 3       ? "Keine Messreihe ausgewählt"
                    : k < 7 ? "KalvionWollen Sie die Messreihe wirklich löschen?\n"
                            : "Messung umbenennenNeuer Name:c");
            QCOMPARE(box.parentVisible, !dark && k >= 3 && k < 7);
            QCOMPARE(box.parentStyleSheet, Theme::pageStyle(false));
        }
    }

    // A style that stays the same in both themes is the form's own, and no text may keep one.
    void everyScreen()
    {
        const auto roles = [](bool dark) {
            using namespace Theme;
            return QStringList{ pageStyle(dark), buttonStyle(dark), wideButtonStyle(dark),
                textStyle(dark), panelStyle(dark), panelTextStyle(dark), contrastStyle(dark) };
        };
        for (int language : { 0, 1 }) {
            for (bool dark : { false, true }) {
                StoredMeter stored;
                stored.measurements = { storedSeries(3) };
                // In English the theme is switched at run time, in German it is the stored one.
                writeStore({ stored }, { dark != bool(language), dark, language });
                MainWindow window;
                if (language)
                    click(openSettings(window), "darkModeButton");
                look(&window, dark);
                child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
                click(&window, "newDeviceButton");
                QBluetoothDeviceInfo found(QBluetoothAddress("C0:FF:EE:00:00:01"), "M27K53C", 0);
                found.setCoreConfigurations(QBluetoothDeviceInfo::LowEnergyCoreConfiguration);
                shown<newDeviceScreen>()->addDeviceToList(found); // as a search lists it
                look(shown<newDeviceScreen>(), dark);
                shown<newDeviceScreen>()->close();
                click(&window, "settingsButton");
                look(shown<settingsScreen>(), dark);
                click(shown<settingsScreen>(), "languageButton");
                look(shown<languageScreen>(), dark);
                shown<languageScreen>()->close();
                click(&window, "editButton");
                auto *overview = shown<deviceOverviewScreen>();
                look(overview, dark);
                child<QListWidget>(overview, "measureList")->setCurrentRow(0);
                click(overview, "openMeasureButton");
                look(shown<measureOverview>(), dark);
                shown<measureOverview>()->close();
                overview->close();
                Recording recording{ QBluetoothDeviceInfo() };
                connectionScreen live(language, &recording);
                live.setDarkMode(dark);
                look(&live, dark);
                loadingScreen spinner;
                look(&spinner, dark);
            }
            for (const QString &name : looks[0].keys()) {
                const auto &[light, showsText] = looks[0][name];
                const QString &dark = looks[1][name].first;
                if (light != dark || showsText)
                    QVERIFY2(roles(false).contains(light) && roles(true).contains(dark),
                        qPrintable(name));
            }
        }
    }

    // Look-alikes are never listed; of two meters that come into range later, one is, and it is
    // added once: the same meter again, though relabelled by now, is refused. Without an adapter
    // or with one switched off, a search and a link say that Bluetooth is unavailable, however
    // often the user tries.
    void discovery()
    {
        QVERIFY(meter.isRunning());
        Search::timeout = 1000; // the virtual meter is seen 0.3 s into a search
        writeStore({}, { false, false, 1 });
        MainWindow window;
        const auto search = [&] {
            if (!shown<newDeviceScreen>())
                click(&window, "newDeviceButton");
            click(shown<newDeviceScreen>(), "searchButton");
        };
        const auto found
            = [] { return child<QListWidget>(shown<newDeviceScreen>(), "blootoothList"); };
        const auto nothingFound
            = [] { return child<QLabel>(shown<newDeviceScreen>(), "noDeviceFoundLabel"); };
        meter.reset({ { "meter", false } });
        meter.call("AddDualModeDevice", { "M27K53C" });
        for (const char *name : { "m27k53c", "M27K53C ", "M27K53CX", " M27K53C" })
            meter.call("AddMeter", { QString(name) });
        search();
        QTRY_VERIFY_WITH_TIMEOUT(!shown<loadingScreen>(), 9000);
        QCOMPARE(found()->count(), 0);
        QVERIFY(nothingFound()->isVisible());
        QCOMPARE(nothingFound()->text(), "No device found!");
        meter.call("AddMeter", { QString("M27K53C") });
        meter.call("AddMeter", { QString("M27K53C") });
        for (int round = 0; round < 2; ++round) {
            search();
            QVERIFY(shown<loadingScreen>() && !nothingFound()->isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(!shown<loadingScreen>(), 9000);
            QCOMPARE(entries(found()), QStringList({ "M27K53C" }));
            QVERIFY(!nothingFound()->isVisible());
            found()->setCurrentRow(0);
            ModalAnswer answer(
                QList<ModalAnswer::Reply>(round, ModalAnswer::press(QMessageBox::Ok)));
            click(shown<newDeviceScreen>(), "confirmButton");
            QVERIFY(answer.done());
            QCOMPARE(answer.box().title, round ? "Device already saved" : "");
            child<QListWidget>(&window, "deviceList")->item(0)->setText("Werkbank");
        }
        QCOMPARE(window.meterRecords().count(), 1);
        QTRY_COMPARE(UserStore().value("deviceList/size").toInt(), 1);
        // Without an adapter, or with it switched off, searching and connecting say so.
        for (const char *state : { "adapter", "powered" }) {
            meter.reset({ { state, false } });
            for (int round = 0; round < 2; ++round) {
                ModalAnswer said(QMessageBox::Ok);
                search();
                QTRY_VERIFY(said.done());
                QVERIFY(!shown<loadingScreen>() && !nothingFound()->isVisible());
                QCOMPARE(said.box().title, "Bluetooth unavailable");
                QCOMPARE(said.box().text, "Bluetooth is switched off or missing on this computer. "
                                          "Please switch Bluetooth on and try again.");
            }
            shown<newDeviceScreen>()->close();
            child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
            ModalAnswer said(QMessageBox::Ok);
            click(&window, "connectButton");
            QTRY_VERIFY(said.done());
            QCOMPARE(said.box().title, "Bluetooth unavailable");
            QTest::qWait(200); // and nothing more
        }
    }
};

KALVION_TEST_MAIN(ScreensTest)
#include "tst_screens.moc"
