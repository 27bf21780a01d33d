#include "app/mainwindow.h"
#include "plot/levels.h"
#include "plot/zoomview.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/measureoverview.h"
#include "support/files.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpontaneKeyEvent>
#include <QTemporaryDir>
#include <QValueAxis>
#include <QWindow>

#include <cmath>
#include <ctime>

// Long series drawn per pixel column and summed up from their levels, checked against every
// sample; and the viewer walked through with the wheel, drags, keys and the pointer.
class PlotTest : public QObject
{
    Q_OBJECT

    // y of sample i (0-based) of the series the table names, and its unit.
    static QList<QPointF> series(const QString &shape, int n)
    {
        QList<QPointF> points;
        for (int i = 0; i < n; ++i) {
            double y = 0;
            if (shape == "sine")
                y = 5 * std::sin(i / 300.0) + 0.001 * i;
            else if (shape == "spikes")
                y = i % 1013 == 500 ? 9.5 : i % 977 == 3 ? -7.25 : 1.0;
            else if (shape == "step")
                y = i < n / 3 ? -2.0 : 3.5;
            else if (shape == "unreadable")
                y = i % 7 == 0 ? 0.0 : 10 + i % 5;
            else
                y = 4.25;
            points.append(QPointF(i + 1, y));
        }
        return points;
    }

    // The unit texts of the samples: V, with a stretch in mV, and every seventh unreadable in
    // the series that has unreadable points.
    static QString unitOf(const QString &shape, qsizetype i)
    {
        const QString unit = i % 3000 < 1000 ? "m V " : "V ";
        return shape == "unreadable" && i % 7 == 0 ? unit + '?' : unit;
    }

    // The summary line in the viewer's words, from figures the test took itself.
    static QString summaryLine(const QString &words, qsizetype count, qint64 seconds, double low,
        double high, double mean, const QString &unit)
    {
        return QString(words)
            .arg(count)
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QChar('0'))
            .arg(seconds % 60, 2, 10, QChar('0'))
            .arg(QString::number(low, 'g', 5), QString::number(high, 'g', 5),
                QString::number(mean, 'g', 5), QString(unit).remove(' '))
            .trimmed();
    }

private slots:
    // Per pixel column, the drawn copy holds the column's first and last sample and its
    // smallest and largest value, in x order, and nothing from outside it; where few samples
    // fall in a column, the samples themselves. Every stretch's figures are those of its
    // readable samples of the unit asked for.
    void levels_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<int>("count");
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<qsizetype>("to");
        QTest::addColumn<int>("columns");
        QTest::newRow("a sine, whole") << "sine" << 100000 << qsizetype(0) << qsizetype(100000) << 333;
        QTest::newRow("a sine, a stretch") << "sine" << 100000 << qsizetype(12345) << qsizetype(67891) << 300;
        QTest::newRow("single-sample spikes") << "spikes" << 50000 << qsizetype(0) << qsizetype(50000) << 350;
        QTest::newRow("a step") << "step" << 30000 << qsizetype(17) << qsizetype(29999) << 350;
        QTest::newRow("all equal") << "equal" << 20000 << qsizetype(0) << qsizetype(20000) << 350;
        QTest::newRow("one point") << "equal" << 1 << qsizetype(0) << qsizetype(1) << 350;
        QTest::newRow("two points") << "step" << 2 << qsizetype(0) << qsizetype(2) << 350;
        QTest::newRow("few per column") << "sine" << 5000 << qsizetype(100) << qsizetype(1100) << 350;
        QTest::newRow("unreadable points") << "unreadable" << 40000 << qsizetype(3) << qsizetype(39990) << 350;
    }

    void levels()
    {
        QFETCH(QString, shape);
        QFETCH(int, count);
        QFETCH(qsizetype, from);
        QFETCH(qsizetype, to);
        QFETCH(int, columns);
        const QList<QPointF> samples = series(shape, count);
        const Levels reduced(samples, [&](qsizetype i) { return unitOf(shape, i); });
        const QList<QPointF> drawn = reduced.drawn(from, to, columns);

        const qsizetype n = to - from;
        if (n <= qsizetype(columns) * 4) {
            QCOMPARE(drawn, samples.mid(std::max<qsizetype>(from - 1, 0),
                                std::min<qsizetype>(to + 1, count) - std::max<qsizetype>(from - 1, 0)));
        } else {
            qsizetype next = 0;
            for (int c = 0; c < columns; ++c) {
                const qsizetype a = from + n * c / columns, b = from + n * (c + 1) / columns;
                double low = samples[a].y(), high = low;
                for (qsizetype i = a; i < b; ++i) {
                    low = std::min(low, samples[i].y());
                    high = std::max(high, samples[i].y());
                }
                QList<QPointF> column;
                while (next < drawn.size() && drawn[next].x() <= samples[b - 1].x())
                    column.append(drawn[next++]);
                QVERIFY2(!column.isEmpty() && column.size() <= 4, qPrintable(QString::number(c)));
                QCOMPARE(column.constFirst(), samples[a]);
                QCOMPARE(column.constLast(), samples[b - 1]);
                double shownLow = column[0].y(), shownHigh = shownLow;
                for (int k = 0; k < column.size(); ++k) {
                    QCOMPARE(column[k], samples[qsizetype(column[k].x()) - 1]);
                    QVERIFY(k == 0 || column[k].x() > column[k - 1].x());
                    shownLow = std::min(shownLow, column[k].y());
                    shownHigh = std::max(shownHigh, column[k].y());
                }
                QCOMPARE(shownLow, low);
                QCOMPARE(shownHigh, high);
            }
            QCOMPARE(next, drawn.size());
        }

        for (const QString unit : { "V ", "m V " }) {
            qsizetype readable = 0;
            double sum = 0, low = 0, high = 0;
            for (qsizetype i = from; i < to; ++i) {
                if (unitOf(shape, i) != unit)
                    continue;
                low = readable ? std::min(low, samples[i].y()) : samples[i].y();
                high = readable ? std::max(high, samples[i].y()) : samples[i].y();
                sum += samples[i].y();
                ++readable;
            }
            const Figures f = reduced.figures(from, to, unit);
            QCOMPARE(f.count, readable);
            QVERIFY(std::abs(f.sum - sum) <= 1e-9 * std::max(1.0, std::abs(sum)));
            if (readable) {
                QCOMPARE(f.min, low);
                QCOMPARE(f.max, high);
            }
        }
    }

    // The viewer of a stored measurement of 6,000 points, one a second, as a user works it, in
    // either language. What it shows is read off its axes, and what it says is checked against
    // figures the test takes from the stored points.
    void viewer_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("summaryWords");
        QTest::addColumn<QString>("readoutWords");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("closing");
        QTest::newRow("German") << 0 << "%1 Punkte · %2:%3:%4 h · Min %5 · Max %6 · Ø %7 %8"
                                << "Nr. %1: %2 · %3 · %4"
                                << "Doppelklick oder 0: ganze Messung"
                                << "Escape";
        QTest::newRow("English") << 1 << "%1 points · %2:%3:%4 h · min %5 · max %6 · mean %7 %8"
                                 << "No. %1: %2 · %3 · %4"
                                 << "Double-click or 0: whole measurement"
                                 << "close button";
    }

    void viewer()
    {
        QFETCH(int, language);
        QFETCH(QString, summaryWords);
        QFETCH(QString, readoutWords);
        QFETCH(QString, hint);
        QFETCH(QString, closing);
        const int n = 6000;
        StoredSeries stored;
        const QDateTime start(QDate(2026, 12, 7), QTime(8, 0));
        for (int i = 0; i < n; ++i) {
            const bool unreadable = i % 11 == 5;
            stored.points.append(QPointF(i + 1, unreadable ? 0.0 : 2 + std::sin(i / 90.0) + i / 4000.0));
            stored.timestamps.append(start.addSecs(i).toString("yyyy-MM-dd hh:mm:ss.zzz") + "000");
            stored.units.append(QString(i >= 4000 ? "m V " : "V ") + (unreadable ? "?" : ""));
            stored.settings.append(i < 3000 ? "DC AUTO " : "DC ");
        }
        stored.name = stored.timestamps.first();
        StoredOptions options;
        options.language = language;
        writeStore({ StoredMeter{ "Werkbank", "C8:27:53:0C:00:01", "M27K53C", { stored } } }, options);
        MainWindow window;
        window.show();
        child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
        child<QPushButton>(&window, "editButton")->click();
        deviceOverviewScreen *overview = shown<deviceOverviewScreen>();
        child<QListWidget>(overview, "measureList")->setCurrentRow(0);
        child<QPushButton>(overview, "openMeasureButton")->click();
        measureOverview *viewer = shown<measureOverview>();
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        auto *view = viewer->findChild<ZoomView *>();
        QWidget *surface = view->viewport();
        auto *axisX = qobject_cast<QValueAxis *>(view->chart()->axes(Qt::Horizontal).value(0));
        auto *axisY = qobject_cast<QValueAxis *>(view->chart()->axes(Qt::Vertical).value(0));
        auto *line = qobject_cast<QLineSeries *>(view->chart()->series().value(0));
        const QLabel *readout = child<QLabel>(viewer, "readoutLabel");
        const QLabel *summary = child<QLabel>(viewer, "summaryLabel");
        const auto shownRange = [&] { return std::pair{ qRound(axisX->min()), qRound(axisX->max()) }; };
        const auto pixelOf = [&](double x) {
            return view->chart()->mapToPosition(QPointF(x, 0), line).toPoint().x();
        };
        const QPoint middle = view->chart()->plotArea().center().toPoint();
        // The pointer moving with no button down, as the window system reports it.
        const auto hover = [surface](QPoint at) {
            QMouseEvent move(QEvent::MouseMove, at, surface->mapToGlobal(at), Qt::NoButton,
                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(surface, &move);
        };

        // The summary of samples a..b (numbers from 1), from the stored points.
        const auto expectedSummary = [&](int a, int b) {
            const QString unit = QString(stored.units[a - 1]).remove('?');
            int readable = 0;
            double sum = 0, low = 0, high = 0;
            for (int i = a - 1; i < b; ++i) {
                if (stored.units[i] != unit)
                    continue;
                const double y = stored.points[i].y();
                low = readable ? std::min(low, y) : y;
                high = readable ? std::max(high, y) : y;
                sum += y;
                ++readable;
            }
            return summaryLine(summaryWords, b - a + 1, b - a, low, high, sum / readable, unit);
        };

        const auto opening = shownRange();
        const QList<QPointF> openingLine = line->points();
        QCOMPARE(opening, std::pair(1, n));
        QCOMPARE(summary->text(), expectedSummary(1, n));
        QVERIFY(line->count() < 4 * 400);

        // Keys reach the chart from the moment it opens, sent to its window as the window system
        // delivers them: + halves what is shown about its middle, 0 shows the whole again.
        QWindow *viewerWindow = viewer->windowHandle();
        QTest::keyClick(viewerWindow, Qt::Key_Plus);
        auto [c, d] = shownRange();
        QVERIFY(std::abs((d - c) - (n - 1) / 2) <= 1 && std::abs((c + d) - (1 + n)) <= 2);
        QCOMPARE(summary->text(), expectedSummary(c, d));
        QTest::keyClick(viewerWindow, Qt::Key_0);
        QCOMPARE(shownRange(), opening);
        // Tab takes the keys to the buttons, which have no use for +; the wheel takes them back.
        QTest::keyClick(viewerWindow, Qt::Key_Tab);
        QTest::keyClick(viewerWindow, Qt::Key_Plus);
        QCOMPARE(shownRange(), opening);

        // The wheel turned away zooms in about the pointer, and the sample under it stays.
        const int atPointer = 1500;
        const QPoint pointer(pixelOf(atPointer), middle.y());
        const auto turnAway = [&] {
            QWheelEvent away(pointer, surface->mapToGlobal(pointer), {}, { 0, 120 }, Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
            // As from the window system, the way QTest sends mouse events to a widget.
            QSpontaneKeyEvent::setSpontaneous(&away);
            qApp->notify(surface, &away);
        };
        turnAway();
        auto [a, b] = shownRange();
        QVERIFY2(a > 1 && b < n && a < atPointer && atPointer < b, qPrintable(QString("%1..%2").arg(a).arg(b)));
        QVERIFY(std::abs(pixelOf(atPointer) - pointer.x()) <= 2);
        QCOMPARE(summary->text(), expectedSummary(a, b));
        QCOMPARE(readout->text(), hint);
        // The y axis spans exactly the values shown, unreadable ones included.
        const auto expectedY = [&](int a, int b) {
            double low = stored.points[a - 1].y(), high = low;
            for (int i = a - 1; i < b; ++i) {
                low = std::min(low, stored.points[i].y());
                high = std::max(high, stored.points[i].y());
            }
            return std::pair{ low, high };
        };
        QCOMPARE(std::pair(axisY->min(), axisY->max()), expectedY(a, b));
        // Right after the wheel, 0 shows the whole again.
        QTest::keyClick(viewerWindow, Qt::Key_0);
        QCOMPARE(shownRange(), opening);
        QCOMPARE(summary->text(), expectedSummary(1, n));
        turnAway();
        QCOMPARE(shownRange(), std::pair(a, b));

        // A drag zooms to the stretch dragged over, as near as a pixel tells.
        const int dragFrom = a + (b - a) / 4, dragTo = a + (b - a) / 2;
        const int perPixel = int(std::ceil((b - a) / view->chart()->plotArea().width())) + 1;
        QTest::mousePress(surface, Qt::LeftButton, {}, QPoint(pixelOf(dragFrom), middle.y()));
        QTest::mouseMove(surface, QPoint(pixelOf(dragTo), middle.y()));
        QTest::mouseRelease(surface, Qt::LeftButton, {}, QPoint(pixelOf(dragTo), middle.y()));
        std::tie(a, b) = shownRange();
        QVERIFY2(std::abs(a - dragFrom) <= perPixel && std::abs(b - dragTo) <= perPixel,
            qPrintable(QString("%1..%2 for %3..%4").arg(a).arg(b).arg(dragFrom).arg(dragTo)));
        QCOMPARE(summary->text(), expectedSummary(a, b));
        QCOMPARE(std::pair(axisY->min(), axisY->max()), expectedY(a, b));

        // Keys: + halves what is shown about its middle, the arrows move by an eighth, Home and
        // End go to the ends, - widens; a right-button drag pans.
        const int width = b - a;
        QTest::keyClick(viewerWindow, Qt::Key_Plus);
        std::tie(c, d) = shownRange();
        QVERIFY(std::abs((d - c) - width / 2) <= 1 && std::abs((c + d) - (a + b)) <= 2);
        QTest::keyClick(viewerWindow, Qt::Key_Right);
        auto [e, f] = shownRange();
        QVERIFY(std::abs((e - c) - (d - c + 1) / 8) <= 1 && f - e == d - c);
        QTest::keyClick(viewerWindow, Qt::Key_Home);
        std::tie(a, b) = shownRange();
        QVERIFY(a == 1 && b - a == f - e);
        QCOMPARE(summary->text(), expectedSummary(a, b));
        QTest::keyClick(viewerWindow, Qt::Key_End);
        std::tie(a, b) = shownRange();
        QVERIFY(b == n && b - a == f - e);
        QCOMPARE(summary->text(), expectedSummary(a, b));
        QTest::mousePress(surface, Qt::RightButton, {}, middle);
        QTest::mouseMove(surface, middle + QPoint(40, 0));
        QTest::mouseRelease(surface, Qt::RightButton, {}, middle + QPoint(40, 0));
        std::tie(c, d) = shownRange();
        QVERIFY(c < a && d - c == b - a);
        QTest::keyClick(viewerWindow, Qt::Key_Minus);
        std::tie(a, b) = shownRange();
        QVERIFY(b - a > d - c);

        // Zoom stops at about ten samples.
        for (int step = 0; step < 20; ++step)
            QTest::keyClick(viewerWindow, Qt::Key_Plus);
        std::tie(a, b) = shownRange();
        QCOMPARE(b - a + 1, 10);
        QCOMPARE(summary->text(), expectedSummary(a, b));

        // Zoomed in that far, the pointer reads the sample it is nearest to, "?" where the
        // meter showed none; leaving, it says how to get back.
        QTest::keyClick(viewerWindow, Qt::Key_Home);
        QCOMPARE(shownRange(), std::pair(1, 10));
        for (int sample : { 2, 6 }) {
            const double y = stored.points[sample - 1].y();
            hover(view->chart()->mapToPosition(QPointF(sample, y), line).toPoint());
            const bool readable = !stored.units[sample - 1].contains('?');
            QCOMPARE(readout->text(),
                QString(readoutWords)
                    .arg(sample)
                    .arg((readable ? QString::number(y, 'g', 5) : "?") + " V")
                    .arg(stored.timestamps[sample - 1], stored.settings[sample - 1].trimmed()));
        }
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(surface, &leave);
        QCOMPARE(readout->text(), hint);

        // Back to the whole: the opening view, exactly.
        QTest::keyClick(viewerWindow, Qt::Key_0);
        QCOMPARE(shownRange(), opening);
        QCOMPARE(line->points(), openingLine);
        QCOMPARE(summary->text(), expectedSummary(1, n));
        QCOMPARE(readout->text(), QString());
        QTest::keyClick(viewerWindow, Qt::Key_Plus);
        QTest::mouseDClick(surface, Qt::LeftButton, {}, middle);
        QCOMPARE(shownRange(), opening);
        QCOMPARE(line->points(), openingLine);

        // Zoomed in, the CSV file still holds every stored point, and the stored measurement is
        // what it was.
        for (int step = 0; step < 5; ++step)
            QTest::keyClick(viewerWindow, Qt::Key_Plus);
        QVERIFY(view->isZoomed());
        QTemporaryDir dir;
        const QString path = dir.filePath("whole.csv");
        ModalAnswer written({ ModalAnswer::enter(path), ModalAnswer::press(QMessageBox::Ok) });
        QTest::mouseClick(child<QPushButton>(viewer, "csvButton"), Qt::LeftButton);
        QVERIFY(written.done());
        const QList<QByteArray> rows = fileBytes(path).split('\n');
        const qsizetype head = rows.indexOf(language ? "Data,Unit,Time" : "Messwert,Einheit,Zeit");
        QVERIFY(head > 0);
        QCOMPARE(rows.size() - head - 2, n);
        QCOMPARE(rows[head + 1], "2,V ," + stored.timestamps[0].toUtf8());
        QCOMPARE(rows[head + n], QByteArray::number(stored.points[n - 1].y()) + ",m V ,"
                + stored.timestamps[n - 1].toUtf8());
        QCOMPARE(window.meterRecords().measurement(0, 0).points(), stored.points);
        // The button left the keys with the chart, and Return asks for a CSV file as before.
        QTest::keyClick(viewerWindow, Qt::Key_0);
        QCOMPARE(shownRange(), opening);
        ModalAnswer cancelled({ ModalAnswer::dismiss(), ModalAnswer::press(QMessageBox::Ok) });
        QTest::keyClick(viewerWindow, Qt::Key_Return);
        QVERIFY(cancelled.done());
        QCOMPARE(cancelled.box().filters, QStringList("*.csv"));

        // Closed in the middle of a drag, by Escape or by the frame's close button, the viewer
        // leaves for the screen it came from, and the stored points are the records' alone.
        const QList<QPointF> &kept = window.meterRecords().meter(0).measurements[0].points;
        QVERIFY(!kept.isDetached());
        QTest::mousePress(surface, Qt::LeftButton, {}, middle);
        QTest::mouseMove(surface, middle + QPoint(30, 0));
        if (closing == "Escape")
            QTest::keyClick(viewerWindow, Qt::Key_Escape);
        else
            viewerWindow->close(); // as the window manager asks when the frame's button is pressed
        QVERIFY(!viewer->isVisible() && overview->isVisible());
        QVERIFY(kept.isDetached());
        overview->close();
    }

    // The summary as the viewer opens, of points stamped with the local times, in Berlin, of the
    // moments given (as the room's clock read them): readings without a unit text count, and the
    // duration runs from the first moment to the last, never below zero.
    void summary_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QList<QDateTime>>("moments");
        const auto every = [](const QDateTime &first, int seconds, int count) {
            QList<QDateTime> moments;
            for (int i = 0; i < count; ++i)
                moments.append(first.addSecs(qint64(i) * seconds));
            return moments;
        };
        const QDateTime june(QDate(2026, 6, 1), QTime(12, 0), Qt::UTC);
        QTest::newRow("readings without a unit text") << "" << every(june, 1, 100);
        // 02:50 summer time to 02:10 winter time, twenty minutes later.
        const QDateTime change(QDate(2026, 10, 25), QTime(0, 50), Qt::UTC);
        QTest::newRow("across the autumn clock change") << "V " << every(change, 60, 21);
        QTest::newRow("a clock put back by hand")
            << "m V " << every(june, 60, 11) + every(june.addSecs(-30 * 60), 60, 11);
    }

    void summary()
    {
        QFETCH(QString, unit);
        QFETCH(QList<QDateTime>, moments);
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
        const auto restore = qScopeGuard([&] {
            zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
            tzset();
        });
        SamplesBuilder built;
        double low = 0, high = 0, sum = 0;
        for (qsizetype i = 0; i < moments.size(); ++i) {
            const double y = double(i * 37 % 101) / 8 - 3;
            low = i ? std::min(low, y) : y;
            high = i ? std::max(high, y) : y;
            sum += y;
            built.append(QPointF(double(i + 1), y),
                moments[i].toLocalTime().toString("yyyy-MM-dd hh:mm:ss.zzz") + "000", unit, "DC ");
        }
        const Measurement stored{ {}, built.take() };
        measureOverview viewer(0);
        viewer.series->replace(stored.points());
        viewer.setMeasurement(stored);
        viewer.setupGraph();
        const qint64 seconds = std::max<qint64>(0, moments.first().secsTo(moments.last()));
        QCOMPARE(child<QLabel>(&viewer, "summaryLabel")->text(),
            summaryLine("%1 Punkte · %2:%3:%4 h · Min %5 · Max %6 · Ø %7 %8", moments.size(),
                seconds, low, high, sum / double(moments.size()), unit));
    }

    // The widest lines a long recording gives: a million points over a thousand hours of small
    // readings, whose mean takes five digits after three zeros, and a sample lit with every
    // indicator. The summary fits whole; the readout gives way only at its settings, after the
    // number, value and time stamp. The x axis's labels, seven digits long, fit at every zoom.
    void linesFitTheViewer()
    {
        const int n = 1000000;
        QList<QPointF> points;
        points.reserve(n);
        for (int i = 0; i < n; ++i)
            points.append(QPointF(i + 1, i % 3 ? -0.001 : -0.002));
        QStringList stamps(n, "2026-12-01 00:00:00.000000");
        stamps.last() = "2027-01-11 15:59:59.999000";
        QStringList settings(n, "DC AUTO ");
        settings.last() = "AC DC AUTO USB Diode Sound REL Battery APO MIN MAX NCV ";
        MeterRecords records;
        records.addMeter(
            Meter(QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:01"), "M27K53C", 0),
                "Werkbank"));
        records.addMeasurement(0, stamps.first(), points, stamps, QStringList(n, "M Ohm "), settings);
        const Measurement stored = records.measurement(0, 0);
        for (int language : { 0, 1 }) {
            measureOverview viewer(language);
            viewer.series->replace(stored.points());
            viewer.setMeasurement(stored);
            viewer.setupGraph();
            viewer.show();
            QVERIFY(QTest::qWaitForWindowExposed(&viewer));
            const QLabel *summary = child<QLabel>(&viewer, "summaryLabel");
            QVERIFY2(summary->text().startsWith("1000000 ") && summary->text().contains(" 999:59:59 h ")
                    && summary->text().endsWith(" -0.0013333 M\u2126"),
                qPrintable(summary->text()));
            QVERIFY2(summary->fontMetrics().horizontalAdvance(summary->text()) <= summary->contentsRect().width(),
                qPrintable(summary->text()));

            auto *view = viewer.findChild<ZoomView *>();
            auto *line = qobject_cast<QLineSeries *>(view->chart()->series().value(0));
            // The x axis's labels once drawn: at least two, each a whole sample number in full,
            // under its tick and within the view. Empty when they are, else the first that is not.
            const auto labelFault = [&]() -> QString {
                QCoreApplication::processEvents(); // the chart lays its labels out when idle
                const QRectF plot = view->chart()->plotArea();
                int labels = 0;
                for (QGraphicsItem *item : view->scene()->items()) {
                    const auto *label = dynamic_cast<QGraphicsTextItem *>(item);
                    const QString text = label ? label->toPlainText() : QString();
                    const QRectF box = label ? label->sceneBoundingRect() : QRectF();
                    if (text.isEmpty() || !label->isVisible() || box.top() < plot.bottom())
                        continue;
                    ++labels;
                    const qreal tick
                        = view->chart()->mapToPosition(QPointF(text.toDouble(), 0), line).x();
                    if (!QRegularExpression("^[0-9]+$").match(text).hasMatch()
                        || std::abs(box.center().x() - tick) > 1
                        || !QRectF(view->rect()).contains(box))
                        return text;
                }
                return labels >= 2 ? QString() : QString("%1 labels").arg(labels);
            };
            // Opened, zoomed in by + to the fewest samples, and at the end.
            for (int step = 0; step <= 21; ++step) {
                if (step > 0)
                    QTest::keyClick(view, step <= 20 ? Qt::Key_Plus : Qt::Key_End);
                QVERIFY2(labelFault().isEmpty(), qPrintable(labelFault()));
            }
            const QPoint at = view->chart()->mapToPosition(points.last(), line).toPoint() - QPoint(1, 0);
            QMouseEvent move(QEvent::MouseMove, at, view->viewport()->mapToGlobal(at), Qt::NoButton,
                Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(view->viewport(), &move);
            const QLabel *readout = child<QLabel>(&viewer, "readoutLabel");
            const QString whole = QString(language ? "No." : "Nr.")
                + " 1000000: -0.002 M\u2126 · 2027-01-11 15:59:59.999000 · AC DC";
            QVERIFY2(readout->text().startsWith(whole), qPrintable(readout->text()));
            QVERIFY2(readout->fontMetrics().horizontalAdvance(readout->text()) <= readout->contentsRect().width(),
                qPrintable(readout->text()));
        }
    }
};

KALVION_TEST_MAIN(PlotTest)
#include "tst_plot.moc"
