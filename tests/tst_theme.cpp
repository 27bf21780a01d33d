#include "app/mainwindow.h"
#include "link/loadingscreen.h"
#include "link/newdevicescreen.h"
#include "live/connectionscreen.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/languagescreen.h"
#include "screens/measureoverview.h"
#include "screens/settingsscreen.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"
#include "ui/theme.h"

#include <QBluetoothAddress>
#include <QBluetoothDeviceInfo>
#include <QLCDNumber>
#include <QLabel>
#include <QPushButton>

// Every screen opened as the user opens it, in both languages and both themes: every caption
// fits its widget, and every styled widget has the theme role of its kind in both themes.
class ThemeTest : public QObject
{
    Q_OBJECT

    struct Look {
        QString style;
        QStringList roles; // the theme styles a widget of its kind may have
        bool showsText;
    };
    QMap<QString, Look> looks[2]; // by screen and widget, light and dark

    static QStringList rolesOf(QWidget *w, QWidget *screen, bool dark)
    {
        using namespace Theme;
        if (w == screen || w->objectName() == "centralwidget")
            return { pageStyle(dark) };
        if (qobject_cast<QPushButton *>(w))
            return { buttonStyle(dark), wideButtonStyle(dark) };
        const bool onPanel = w->parentWidget()->styleSheet() == panelStyle(dark);
        if (qobject_cast<QLabel *>(w) || qobject_cast<QLCDNumber *>(w))
            return { onPanel ? panelTextStyle(dark) : textStyle(dark), contrastStyle(dark) };
        return { panelStyle(dark), contrastStyle(dark) };
    }

    // Every list item has the item colours of the theme, pinned here and nowhere else.
    void look(QWidget *screen, bool dark)
    {
        QVERIFY(screen);
        QCOMPARE(screen->windowTitle(), "KalvionApp");
        QCOMPARE(screen->minimumSize(), screen->maximumSize());
        QList<QWidget *> widgets = screen->findChildren<QWidget *>();
        for (QWidget *w : widgets << screen) {
            auto *label = qobject_cast<QLabel *>(w);
            auto *button = qobject_cast<QPushButton *>(w);
            const QString caption = label ? label->text() : button ? button->text() : QString();
            const int room = w->width() - (button ? 6 : 0); // a button's border takes 3 pixels
            QVERIFY2(w->fontMetrics().horizontalAdvance(caption) <= room, qPrintable(caption));
            const QString name
                = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
            looks[dark][screen->objectName() + "/" + name]
                = { w->styleSheet(), rolesOf(w, screen, dark),
                      !caption.isEmpty() || button || qobject_cast<QLCDNumber *>(w) };
            auto *list = qobject_cast<QListWidget *>(w);
            for (int r = 0; list && r < list->count(); ++r) {
                QCOMPARE(list->item(r)->background().color(), QColor(dark ? "#555555" : "#EEEEEE"));
                QCOMPARE(list->item(r)->foreground().color(), QColor(dark ? Qt::white : Qt::black));
            }
        }
    }

    void click(QWidget *screen, const char *button) { child<QPushButton>(screen, button)->click(); }

private slots:
    void everyScreen_data()
    {
        QTest::addColumn<int>("language");
        QTest::newRow("German") << 0;
        QTest::newRow("English") << 1;
    }

    // A style that stays the same in both themes is the form's own, and no text may keep one.
    void everyScreen()
    {
        QFETCH(int, language);
        for (bool dark : { false, true }) {
            StoredMeter meter;
            meter.measurements = { storedSeries(3) };
            writeStore({ meter }, { dark, dark, language });
            MainWindow window;
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
            look(shown<deviceOverviewScreen>(), dark);
            child<QListWidget>(shown<deviceOverviewScreen>(), "measureList")->setCurrentRow(0);
            click(shown<deviceOverviewScreen>(), "openMeasureButton");
            look(shown<measureOverview>(), dark);
            shown<measureOverview>()->close();
            shown<deviceOverviewScreen>()->close();
            connectionScreen live(language);
            live.setDarkMode(dark);
            look(&live, dark);
            loadingScreen spinner;
            look(&spinner, dark);
        }
        for (const QString &name : looks[0].keys()) {
            const Look &light = looks[0][name], &dark = looks[1][name];
            if (light.style != dark.style || light.showsText) {
                QVERIFY2(light.roles.contains(light.style), qPrintable(name));
                QVERIFY2(dark.roles.contains(dark.style), qPrintable(name));
            }
        }
    }
};

KALVION_TEST_MAIN(ThemeTest)
#include "tst_theme.moc"
