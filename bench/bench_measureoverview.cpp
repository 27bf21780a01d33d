// The measurement viewer with stored series of 10,000, 100,000 and 1,000,000 points, side by side
// with a bare Qt Charts view of the same points: opening and first paint, one zoom step and one
// pan step from the keyboard until painted, and the heap the open viewer takes, beside the
// stored points (16 bytes each).

#include "plot/zoomview.h"
#include "screens/measureoverview.h"
#include "store/meterrecords.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QListWidget>
#include <QtWidgets/qtestsupport_widgets.h>

#include <cstdio>
#include <functional>
#include <malloc.h>

namespace {

// A day at the bench: a slow swing with ripple, and now and then an unreadable sample.
void addMeasurement(MeterRecords &records, int count)
{
    QList<QPointF> points;
    QStringList stamps, units;
    points.reserve(count);
    const QDateTime start(QDate(2026, 12, 6), QTime(8, 0));
    for (int x = 1; x <= count; ++x) {
        const bool unreadable = x % 997 == 0;
        points.append(QPointF(x, unreadable ? 0 : 12.34 + 0.01 * (x % 997) - 0.002 * (x % 131)));
        stamps.append(start.addMSecs(qint64(x) * 333).toString("yyyy-MM-dd hh:mm:ss.zzz") + "000");
        units.append(unreadable ? "m V ?" : "m V ");
    }
    records.addMeasurement(0, stamps.first(), points, stamps, units, QStringList(count, "DC AUTO "));
}

// The heap in use, which, unlike the resident size, does not hide memory taken again after
// an earlier round gave it back.
long heapBytes()
{
    return long(mallinfo2().uordblks);
}

// A chart lays itself out through posted events; the paint that counts is the one after that.
void paintLaidOut(QChartView *view)
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    if (!view->chart()->plotArea().isValid())
        std::printf("chart not laid out\n");
    view->viewport()->repaint();
}

struct Opened {
    double openMs, zoomMs, panMs;
    long extraBytes;
};

// The viewer as the main window opens it, shown and painted once; then a zoom step and a pan
// step from the keyboard, each painted.
Opened openViewer(const MeterRecords &records)
{
    const long before = heapBytes();
    QElapsedTimer timer;
    timer.start();
    const Measurement shown = records.measurement(0, 0);
    measureOverview viewer(0);
    viewer.series->replace(shown.points());
    viewer.setMeasurement(shown);
    viewer.setAddress("C8:27:53:0C:00:01");
    viewer.setTimestamp(shown.timestamp(0));
    viewer.setSettings(shown.settings(0));
    viewer.setUnit("m V ");
    viewer.setupGraph();
    viewer.setDarkMode(true);
    viewer.show();
    auto *view = viewer.findChild<ZoomView *>();
    paintLaidOut(view);
    Opened o{ timer.nsecsElapsed() / 1e6, 0, 0, heapBytes() - before };
    const auto step = [&](Qt::Key key) {
        QElapsedTimer t;
        t.start();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(view, &press);
        paintLaidOut(view);
        return t.nsecsElapsed() / 1e6;
    };
    o.zoomMs = step(Qt::Key_Plus);
    o.panMs = step(Qt::Key_Right);
    return o;
}

double openBareChart(const QList<QPointF> &points)
{
    QElapsedTimer timer;
    timer.start();
    auto *series = new QLineSeries;
    series->replace(points);
    auto *chart = new QChart;
    chart->addSeries(series);
    chart->createDefaultAxes();
    QChartView view(chart);
    view.resize(400, 221);
    view.show();
    paintLaidOut(&view);
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("%9s %10s %10s %6s %9s %9s %12s\n", "points", "viewer ms", "bare ms", "ratio",
        "zoom ms", "pan ms", "extra memory");
    for (int count : { 10000, 100000, 1000000 }) {
        MeterRecords records;
        records.addMeter(
            Meter(QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:01"), "M27K53C", 0),
                "Werkbank"));
        addMeasurement(records, count);
        const QList<QPointF> points = records.measurement(0, 0).points();
        // Rounds in alternating order; the best of each counts.
        Opened best{ 1e9, 1e9, 1e9, 0 };
        double bare = 1e9;
        for (int round = 0; round < 3; ++round) {
            const Opened o = openViewer(records);
            best.openMs = std::min(best.openMs, o.openMs);
            best.zoomMs = std::min(best.zoomMs, o.zoomMs);
            best.panMs = std::min(best.panMs, o.panMs);
            best.extraBytes = std::max(best.extraBytes, o.extraBytes);
            bare = std::min(bare, openBareChart(points));
        }
        const double stored = double(count) * sizeof(QPointF);
        std::printf("%9d %10.1f %10.1f %6.2f %9.1f %9.1f %11.0f%%\n", count, best.openMs, bare,
            best.openMs / bare, best.zoomMs, best.panMs, 100.0 * double(best.extraBytes) / stored);
    }
    std::printf("targets at 1,000,000: open <= 0.2 x bare; zoom and pan steps <= 16 ms; extra "
                "memory <= 25 %% of the stored points\n");
    return 0;
}
