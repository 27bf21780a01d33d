#include "app/mainwindow.h"
#include "link/loadingscreen.h"
#include "link/newdevicescreen.h"
#include "live/connectionscreen.h"
#include "screens/languagescreen.h"
#include "screens/settingsscreen.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QBluetoothAddress>
#include <QBluetoothDeviceInfo>
#include <QListWidget>
#include <QMap>
#include <QPushButton>
#include <QSettings>

// The two colour themes: the main window and its meters through every toggle, and for each
// screen exactly which widgets its theme slot styles, with which strings.
class ThemeTest : public QObject
{
    Q_OBJECT

private:
    using Styles = QMap<QString, QString>;

    static QString page(bool dark)
    {
        return dark ? "background-color: #202020" : "background-color: white";
    }

    static QString button(bool dark, int border = 2)
    {
        return QString("background-color: #009DE2; color: white; border-width: %1px; "
                       "border-style: outset; border-radius: 10px; border-color: %2")
            .arg(border)
            .arg(dark ? "#202020" : "white");
    }

    static QString text(bool dark) { return dark ? "color: white" : "color: black"; }

    // Every widget of a screen that carries a style sheet, by object name (class name when it
    // has none), so a style set on a widget outside the table shows up as well.
    static Styles styled(QWidget *screen)
    {
        Styles result;
        QList<QWidget *> widgets = screen->findChildren<QWidget *>();
        widgets.prepend(screen);
        for (QWidget *w : std::as_const(widgets)) {
            if (w->styleSheet().isEmpty())
                continue;
            const QString name = w->objectName();
            result.insert(name.isEmpty() ? w->metaObject()->className() : name, w->styleSheet());
        }
        return result;
    }

    static void verifyItems(QListWidget *list, int count, bool dark)
    {
        QCOMPARE(list->count(), count);
        for (int r = 0; r < count; ++r) {
            QCOMPARE(list->item(r)->background().color(), QColor(dark ? "#555555" : "#EEEEEE"));
            QCOMPARE(list->item(r)->foreground().color(), QColor(dark ? Qt::white : Qt::black));
        }
    }

    // Adds a meter the way the user does: the search lists it, the user picks it and confirms.
    static void addMeter(MainWindow &window, int number)
    {
        window.newDevice();
        auto *screen = shown<newDeviceScreen>();
        QVERIFY(screen);
        QBluetoothDeviceInfo meter(
            QBluetoothAddress(QString("C0:FF:EE:00:00:0%1").arg(number)), "M27K53C", 0);
        meter.setCoreConfigurations(QBluetoothDeviceInfo::LowEnergyCoreConfiguration);
        screen->addDeviceToList(meter);
        child<QListWidget>(screen, "blootoothList")->setCurrentRow(0);
        child<QPushButton>(screen, "confirmButton")->click();
    }

    static void toggleTheme(MainWindow &window)
    {
        child<QPushButton>(&window, "settingsButton")->click();
        auto *settings = shown<settingsScreen>();
        QVERIFY(settings);
        child<QPushButton>(settings, "darkModeButton")->click();
        QVERIFY(!settings->isVisible());
    }

    static Styles mainWindowStyles(bool dark)
    {
        return { { "centralwidget", page(dark) }, { "connectButton", button(dark) },
            { "editButton", button(dark) }, { "settingsButton", button(dark, 3) },
            { "newDeviceButton", button(dark, 3) }, { "deviceList", "border: none;" } };
    }

private slots:
    void init() { QSettings("Orvu", "Kalvion").clear(); }

    void mainWindowFollowsEveryToggle()
    {
        MainWindow window;
        window.show();
        auto *list = child<QListWidget>(&window, "deviceList");
        for (int n = 1; n <= 3; ++n)
            addMeter(window, n);
        QCOMPARE(styled(&window), mainWindowStyles(false));
        verifyItems(list, 3, false);

        toggleTheme(window);
        QCOMPARE(styled(&window), mainWindowStyles(true));
        verifyItems(list, 3, true);

        addMeter(window, 4);
        verifyItems(list, 4, true);

        toggleTheme(window);
        QCOMPARE(styled(&window), mainWindowStyles(false));
        verifyItems(list, 4, false);

        // The start theme styles the window only; items are coloured when they are listed.
        list->item(0)->setBackground(Qt::red);
        window.darkModeOnStart();
        QCOMPARE(list->item(0)->background().color(), QColor(Qt::red));
    }

    void screensStyleExactlyTheirWidgets_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << true;
        QTest::newRow("light") << false;
    }

    void screensStyleExactlyTheirWidgets()
    {
        QFETCH(bool, dark);

        newDeviceScreen discovery(0);
        discovery.setDarkMode(dark);
        QCOMPARE(styled(&discovery),
            Styles({ { "newDeviceScreen", page(dark) }, { "cancelButton", button(dark) },
                { "confirmButton", button(dark) }, { "searchButton", button(dark) },
                { "noDeviceFoundLabel", text(dark) }, { "blootoothList", "border: none;" } }));

        // The meter face takes the colours opposite to the page, and its texts follow it. The
        // minus sign is one of those texts: left alone it would vanish on the dark face.
        connectionScreen live(0);
        live.setDarkMode(dark);
        Styles face = { { "connectionScreen", page(dark) }, { "display", page(!dark) },
            { "QLCDNumber", text(!dark) }, { "label", text(dark) }, { "minusLabel", text(!dark) } };
        for (const char *name : { "ACLabel", "AUTOLabel", "DCLabel", "HzLabel", "MLabel",
                 "amperLabel", "apoLabel", "celsiusLabel", "fahrenheitLabel", "fLabel", "hLabel",
                 "kLabel", "mLabel", "maxLabel", "minLabel", "nLabel", "ncvLabel", "percentLabel",
                 "relLabel", "usbLabel", "voltLabel", "myLabel", "ohmLabel" })
            face.insert(name, text(!dark));
        QCOMPARE(styled(&live), face);

        settingsScreen settings(0);
        settings.setDarkModeAndTovik(dark, false);
        Styles menu = { { "settingsScreen", page(dark) } };
        for (const char *name : { "darkModeButton", "tovikButton", "impressumButton",
                 "kontaktButton", "datenschutzButton", "lizenzButton", "languageButton" })
            menu.insert(name, button(dark));
        QCOMPARE(styled(&settings), menu);

        languageScreen chooser;
        chooser.setDarkMode(dark);
        QCOMPARE(styled(&chooser),
            Styles({ { "languageScreen", page(dark) }, { "germanButton", button(dark) },
                { "englishButton", button(dark) } }));

        loadingScreen spinner;
        QCOMPARE(styled(&spinner), Styles({ { "loadingScreen", "background-color: white;" } }));
    }
};

KALVION_TEST_MAIN(ThemeTest)
#include "tst_theme.moc"
