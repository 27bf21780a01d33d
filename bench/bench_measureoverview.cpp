// Opening the measurement viewer and its first paint, for stored series of growing length,
// beside a bare Qt Charts view of the same points.

#include "store/meterrecords.h"
#include "screens/measureoverview.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QListWidget>

#include <cstdio>

namespace {

QList<QPointF> samplePoints(int count)
{
    QList<QPointF> points;
    points.reserve(count);
    for (int x = 1; x <= count; ++x)
        points.append(QPointF(x, 12.34 + 0.01 * (x % 997) - 0.002 * (x % 131)));
    return points;
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

// The viewer as the main window opens it, shown and painted once.
double openViewer(const QLineSeries &stored)
{
    QElapsedTimer timer;
    timer.start();
    measureOverview viewer(0);
    viewer.series = const_cast<QLineSeries *>(&stored);
    viewer.setAddress("C8:27:53:0C:00:01");
    viewer.setTimestamp("2026-12-06 14:10:00.123123");
    viewer.setSettings("DC AUTO ");
    viewer.setUnit("m V ");
    viewer.setupGraph();
    viewer.setDarkMode(true);
    viewer.show();
    paintLaidOut(viewer.findChild<QChartView *>());
    return timer.nsecsElapsed() / 1e6;
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

double best(int rounds, const std::function<double()> &run)
{
    double fastest = run();
    for (int r = 1; r < rounds; ++r)
        fastest = std::min(fastest, run());
    return fastest;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("%10s  %14s  %14s  %6s\n", "points", "viewer ms", "bare chart ms", "ratio");
    for (int count : {10000, 100000, 1000000}) {
        const QList<QPointF> points = samplePoints(count);
        QLineSeries stored;
        stored.replace(points);
        const int rounds = count >= 1000000 ? 3 : 5;
        const double viewer = best(rounds, [&] { return openViewer(stored); });
        const double bare = best(rounds, [&] { return openBareChart(points); });
        std::printf("%10d  %14.1f  %14.1f  %6.2f\n", count, viewer, bare, viewer / bare);
    }
    std::printf("target: 100,000 points in under 200 ms\n");
    return 0;
}
