// Renders Kalvion's screens to PNG files from the program's own classes, one theme and one
// language per run, as tools/screenshots.sh calls it. The virtual meter stands in for the
// meter: the script starts it and passes its bus in DBUS_SYSTEM_BUS_ADDRESS.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "store/store.h"
#include "app/tovikscreen.h"
#include "link/loadingscreen.h"
#include "link/newdevicescreen.h"
#include "live/connectionscreen.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/languagescreen.h"
#include "plot/zoomview.h"
#include "screens/measureoverview.h"
#include "store/meterrecords.h"
#include "screens/settingsscreen.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QMouseEvent>
#include <QMessageBox>
#include <QMovie>
#include <QPointF>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

QString outDir;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "kalvion_screenshots: %s\n", what);
    std::exit(1);
}

// Runs the event loop until done() holds, or fails after timeout milliseconds.
void waitFor(const std::function<bool()> &done, int timeout, const char *what)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.hasExpired(timeout))
            fail(what);
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void settle(int milliseconds = 150)
{
    QElapsedTimer clock;
    clock.start();
    waitFor([&] { return clock.hasExpired(milliseconds); }, milliseconds + 1000, "");
}

template <typename T> T *shown()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *t = qobject_cast<T *>(w); t && t->isVisible())
            return t;
    }
    return nullptr;
}

template <typename T> T *waitForScreen(const char *what)
{
    waitFor([] { return shown<T>() != nullptr; }, 10000, what);
    return shown<T>();
}

template <typename T = QPushButton> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(name);
    if (!widget)
        fail(name);
    return widget;
}

void save(QWidget *screen, const char *name)
{
    settle();
    if (!screen->grab().save(outDir + "/" + name + ".png"))
        fail(name);
}

// A store as the program would have written it: the virtual meter with two recorded series,
// and a second meter.
void seedStore(bool dark, int language)
{
    UserStore s;
    s.setValue("darkMode", dark);
    s.setValue("tovik", false);
    s.setValue("language", language);
    const QStringList names = { "2026-12-06 09:14:03.118204", "2026-12-06 09:31:47.902511" };
    s.beginWriteArray("deviceList");
    s.setArrayIndex(0);
    s.setValue("deviceName", "M27K53C");
    s.setValue("deviceAdress", "C8:27:53:0C:00:01");
    s.setValue("buttonName", "Werkbank");
    s.beginWriteArray("points");
    int row = 0;
    for (int m = 0; m < 2; ++m) {
        for (int x = 1; x <= 40; ++x) {
            s.setArrayIndex(row++);
            // A capacitor charging, then one discharging.
            const double charged = 5.0 * (1.0 - std::exp(-x / 8.0));
            s.setValue("point", QPointF(x, m == 0 ? charged : 5.0 - charged));
            s.setValue("timestamp", names[m]);
            s.setValue("unit", "V ");
            s.setValue("settings", "DC AUTO ");
        }
    }
    s.endArray();
    s.beginWriteArray("pointsNumber");
    for (int m = 0; m < 2; ++m) {
        s.setArrayIndex(m);
        s.setValue("measureNames", names[m]);
        s.setValue("pointNumber", 40);
    }
    s.endArray();
    s.setArrayIndex(1);
    s.setValue("deviceName", "M27K53C");
    s.setValue("deviceAdress", "C8:27:53:0C:00:02");
    s.setValue("buttonName", "Labor");
    s.endArray();
    s.sync();
}

// The frame the meter sends for a DC voltage on the auto range, shown as d.ddd V.
QString voltFrame(double volts)
{
    // Segments a f e (bits 3..1) and b g c d (bits 3..0) of the digits 0 to 9.
    static const int segments[10][2] = { { 0xE, 0xB }, { 0x0, 0xA }, { 0xA, 0xD }, { 0x8, 0xF },
        { 0x4, 0xE }, { 0xC, 0x7 }, { 0xE, 0x7 }, { 0x8, 0xA }, { 0xE, 0xF }, { 0xC, 0xF } };
    int low[15] = {};
    const QString digits = QString::number(qRound(volts * 1000)).rightJustified(4, '0');
    for (int k = 1; k <= 4; ++k) {
        low[2 * k - 1] |= segments[digits[k - 1].digitValue()][0];
        low[2 * k] |= segments[digits[k - 1].digitValue()][1];
    }
    low[3] |= 1; // the point after the first digit
    for (int bit : { 1, 2, 49 }) // DC, AUTO, V
        low[bit / 4] |= 1 << (bit % 4);
    QByteArray bytes;
    for (int n = 0; n < 15; ++n)
        bytes.append(char((n + 1) << 4 | low[n]));
    return QString::fromLatin1(bytes.toHex());
}

void grabMenus(MainWindow &window)
{
    child(&window, "settingsButton")->click();
    auto *settings = waitForScreen<settingsScreen>("no settings screen");
    save(settings, "settings");
    child(settings, "languageButton")->click();
    auto *chooser = waitForScreen<languageScreen>("no language chooser");
    save(chooser, "language");
    chooser->close();
}

void grabManagement(MainWindow &window)
{
    child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
    child(&window, "editButton")->click();
    auto *overview = waitForScreen<deviceOverviewScreen>("no management screen");
    save(overview, "management");
    child<QListWidget>(overview, "measureList")->setCurrentRow(0);
    child(overview, "openMeasureButton")->click();
    auto *viewer = waitForScreen<measureOverview>("no measurement viewer");
    save(viewer, "viewer");
    viewer->close();
    overview->close();
}

// A measurement of 1,000,000 points, three a second for 92 hours: a slow swing with ripple, a
// spike now and then and an unreadable sample now and then; whole, then zoomed in with the
// pointer on a sample.
void grabLongViewer(bool dark, int language)
{
    MeterRecords records;
    records.addMeter(Meter(
        QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:01"), "M27K53C", 0), "Werkbank"));
    const int n = 1000000;
    QList<QPointF> points;
    QStringList stamps, units;
    const QDateTime start(QDate(2026, 12, 3), QTime(8, 0));
    for (int i = 0; i < n; ++i) {
        const bool unreadable = i % 4001 == 7;
        const double y = 4.5 + 0.4 * std::sin(i / 20000.0) + 0.05 * std::sin(i / 37.0)
            + (i % 99991 == 0 ? 1.2 : 0);
        points.append(QPointF(i + 1, unreadable ? 0.0 : y));
        stamps.append(start.addMSecs(qint64(i) * 333).toString("yyyy-MM-dd hh:mm:ss.zzz") + "000");
        units.append(unreadable ? "V ?" : "V ");
    }
    records.addMeasurement(0, stamps.first(), points, stamps, units, QStringList(n, "DC AUTO "));
    const Measurement shown = records.measurement(0, 0);
    measureOverview viewer(language);
    viewer.series->replace(shown.points());
    viewer.setMeasurement(shown);
    viewer.setAddress("C8:27:53:0C:00:01");
    viewer.setTimestamp(shown.timestamp(0));
    viewer.setSettings(shown.settings(0));
    viewer.setUnit("V ");
    viewer.setupGraph();
    viewer.setDarkMode(dark);
    viewer.isDarkMode = dark;
    viewer.show();
    save(&viewer, "viewer-long");
    auto *view = viewer.findChild<ZoomView *>();
    view->showStretch(499980, 500090);
    auto *line = qobject_cast<QLineSeries *>(view->chart()->series().value(0));
    const QPoint at = view->chart()->mapToPosition(points[500030], line).toPoint();
    QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton,
        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &move);
    save(&viewer, "viewer-zoomed");
}

void grabDiscovery(MainWindow &window)
{
    child(&window, "newDeviceButton")->click();
    auto *discovery = waitForScreen<newDeviceScreen>("no discovery screen");
    child(discovery, "searchButton")->click();
    auto *spinner = waitForScreen<loadingScreen>("no spinner");
    auto *list = child<QListWidget>(discovery, "blootoothList");
    waitFor([list] { return list->count() > 0; }, 10000, "the meter was not found");
    save(spinner, "spinner");
    save(discovery, "discovery");
    waitFor([] { return !shown<loadingScreen>(); }, 15000, "the search did not end");
    discovery->close();
}

void grabLive(MainWindow &window, QDBusInterface &meter)
{
    child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
    child(&window, "connectButton")->click();
    auto *live = waitForScreen<connectionScreen>("the meter did not connect");
    // The meter streams once the main window has switched its notifications on.
    waitFor(
        [&] { return meter.call("NotifyingPaths").arguments().value(0).toStringList().size() > 0; },
        10000, "the meter did not start notifying");
    child<QToolButton>(live, "playToolButton")->click();
    for (int n = 1; n <= 30; ++n) {
        meter.call("SendFrame", voltFrame(5.0 * (1.0 - std::exp(-n / 9.0))));
        settle(40);
    }
    save(live, "live");

    // The meter goes out of reach during the recording: the screen says so while the link is
    // made again.
    meter.call("OutOfRange", QString(), 60.0);
    auto *lost = live->findChild<QLabel *>("linkLostLabel");
    waitFor([lost] { return lost->isVisible(); }, 10000, "the lost link was not shown");
    save(live, "reconnecting");
    // Bluetooth goes off meanwhile: the screen says so, and the link is made once it is back.
    meter.call("SetPowered", false);
    waitFor([lost] { return lost->text().startsWith("Bluetooth"); }, 10000,
        "Bluetooth off was not shown");
    save(live, "reconnecting-bluetooth-off");
    meter.call("SetPowered", true);

    // Closing the screen ends the link; the main window then reports it.
    bool reported = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&reported] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            box->accept();
            reported = true;
        }
    });
    answer.start(20);
    live->close();
    waitFor([&reported] { return reported; }, 10000, "the link did not end");
}

void grabAnimation()
{
    tovikScreen animation;
    animation.show();
    QMovie *movie = child<QLabel>(&animation, "tovikLabel")->movie();
    // The mascot has arrived and waves.
    waitFor([movie] { return movie->currentFrameNumber() >= 120; }, 10000, "no animation");
    movie->setPaused(true);
    save(&animation, "tovik");
}

} // namespace

int main(int argc, char *argv[])
{
    // A store of this run's own: the user's real one is never read or written.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Startup::prepareApplication(app);

    const QStringList args = app.arguments();
    const bool animation = args.size() == 3 && args[2] == "animation";
    if (!animation
        && (args.size() != 4 || !QStringList{ "light", "dark" }.contains(args[2])
            || !QStringList{ "de", "en" }.contains(args[3]))) {
        std::fprintf(stderr,
            "usage: kalvion_screenshots OUTDIR light|dark de|en\n"
            "       kalvion_screenshots OUTDIR animation\n");
        return 2;
    }
    outDir = args[1];
    QDir().mkpath(outDir);
    if (animation) {
        grabAnimation();
        return 0;
    }

    const QString bus = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    QDBusConnection control = QDBusConnection::connectToBus(bus, "virtualmeter-control");
    QDBusInterface meter("org.bluez", "/", "org.kalvion.VirtualMeter", control);
    if (!meter.isValid())
        fail("the virtual meter does not answer on DBUS_SYSTEM_BUS_ADDRESS");
    meter.call("Reset", QVariantMap{ { "streaming", false } });

    seedStore(args[2] == "dark", args[3] == "en" ? 1 : 0);
    MainWindow window;
    window.show();
    save(&window, "main");
    grabMenus(window);
    grabManagement(window);
    grabDiscovery(window);
    grabLive(window, meter);
    grabLongViewer(args[2] == "dark", args[3] == "en" ? 1 : 0);
    return 0;
}
