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

namespace {

// What a widget shows of the theme, and the theme roles that a widget of its kind may take.
struct Look {
    QString style;
    QStringList roles;
    bool showsText = false;
};
using Looks = QMap<QString, Look>;

QStringList rolesOf(QWidget *w, QWidget *screen, bool dark)
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

void click(QWidget *screen, const char *button)
{
    child<QPushButton>(screen, button)->click();
}

QBluetoothDeviceInfo meterInRange()
{
    QBluetoothDeviceInfo info(QBluetoothAddress("C0:FF:EE:00:00:01"), "M27K53C", 0);
    info.setCoreConfigurations(QBluetoothDeviceInfo::LowEnergyCoreConfiguration);
    return info;
}

} // namespace

// How every screen looks in both themes and both languages, opened as the user opens them.
class ThemeTest : public QObject
{
    Q_OBJECT

private:
    // Notes the look of every widget of a screen; every caption must fit its widget, and every
    // list item takes the item colours of the theme.
    static void look(Looks &looks, QWidget *screen, bool dark)
    {
        QVERIFY(screen);
        QCOMPARE(screen->windowTitle(), "KalvionApp");
        QCOMPARE(screen->minimumSize(), screen->maximumSize());
        QList<QWidget *> widgets = screen->findChildren<QWidget *>();
        widgets.prepend(screen);
        for (QWidget *w : std::as_const(widgets)) {
            auto *label = qobject_cast<QLabel *>(w);
            auto *button = qobject_cast<QPushButton *>(w);
            const QString caption = label ? label->text() : button ? button->text() : QString();
            const int room = w->width() - (button ? 6 : 0); // a button's border takes 3 pixels
            QVERIFY2(w->fontMetrics().horizontalAdvance(caption) <= room, qPrintable(caption));
            const QString name = screen->objectName() + "/"
                + (w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName());
            looks[name] = { w->styleSheet(), rolesOf(w, screen, dark),
                !caption.isEmpty() || button || qobject_cast<QLCDNumber *>(w) };
            if (auto *list = qobject_cast<QListWidget *>(w)) {
                QVERIFY(list->count() > 0);
                for (int r = 0; r < list->count(); ++r) {
                    QCOMPARE(
                        list->item(r)->background().color(), QColor(dark ? "#555555" : "#EEEEEE"));
                    QCOMPARE(
                        list->item(r)->foreground().color(), QColor(dark ? Qt::white : Qt::black));
                }
            }
        }
    }

    // Every screen the main window opens, and the two it has no theme to give.
    static Looks everyScreen(int language, bool dark)
    {
        StoredMeter meter;
        meter.measurements = { storedSeries(3) };
        writeStore({ meter }, { dark, dark, language });
        Looks looks;
        MainWindow window;
        window.show();
        look(looks, &window, dark);
        child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
        click(&window, "newDeviceButton");
        shown<newDeviceScreen>()->addDeviceToList(meterInRange()); // as a search lists it
        look(looks, shown<newDeviceScreen>(), dark);
        shown<newDeviceScreen>()->close();
        click(&window, "settingsButton");
        look(looks, shown<settingsScreen>(), dark);
        click(shown<settingsScreen>(), "languageButton");
        look(looks, shown<languageScreen>(), dark);
        shown<languageScreen>()->close();
        click(&window, "editButton");
        look(looks, shown<deviceOverviewScreen>(), dark);
        child<QListWidget>(shown<deviceOverviewScreen>(), "measureList")->setCurrentRow(0);
        click(shown<deviceOverviewScreen>(), "openMeasureButton");
        look(looks, shown<measureOverview>(), dark);
        shown<measureOverview>()->close();
        shown<deviceOverviewScreen>()->close();
        connectionScreen live(language);
        live.setDarkMode(dark);
        look(looks, &live, dark);
        loadingScreen spinner;
        look(looks, &spinner, dark);
        return looks;
    }

private slots:
    void everyWidgetHasItsRoleInBothThemes_data()
    {
        QTest::addColumn<int>("language");
        QTest::newRow("German") << 0;
        QTest::newRow("English") << 1;
    }

    // A style that stays the same in both themes is the form's own, and no text may keep one.
    void everyWidgetHasItsRoleInBothThemes()
    {
        QFETCH(int, language);
        const Looks light = everyScreen(language, false);
        const Looks dark = everyScreen(language, true);
        QCOMPARE(light.keys(), dark.keys());
        for (const QString &name : light.keys()) {
            if (light[name].style == dark[name].style && !light[name].showsText)
                continue;
            QVERIFY2(light[name].roles.contains(light[name].style), qPrintable(name));
            QVERIFY2(dark[name].roles.contains(dark[name].style), qPrintable(name));
        }
    }

    // The toggle restyles the main window and its meters as a start in the other theme would,
    // meters added meanwhile included.
    void mainWindowFollowsEveryToggle()
    {
        const auto toggle = [](MainWindow &window) {
            click(&window, "settingsButton");
            click(shown<settingsScreen>(), "darkModeButton");
        };
        const auto styles = [](MainWindow &window, bool dark) {
            Looks looks;
            look(looks, &window, dark);
            QStringList result;
            for (const Look &l : looks)
                result.append(l.style);
            return result;
        };
        writeStore({ StoredMeter() }, { true });
        MainWindow darkStart;
        writeStore({ StoredMeter() }, { false });
        MainWindow window;
        const QStringList light = styles(window, false);
        toggle(window);
        QCOMPARE(styles(window, true), styles(darkStart, true));
        click(&window, "newDeviceButton");
        shown<newDeviceScreen>()->addDeviceToList(meterInRange());
        child<QListWidget>(shown<newDeviceScreen>(), "blootoothList")->setCurrentRow(0);
        click(shown<newDeviceScreen>(), "confirmButton");
        QCOMPARE(child<QListWidget>(&window, "deviceList")->count(), 2);
        toggle(window);
        QCOMPARE(styles(window, false), light);
    }
};

KALVION_TEST_MAIN(ThemeTest)
#include "tst_theme.moc"
