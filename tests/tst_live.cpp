#include "fuzz/targets.h"
#include "live/connectionscreen.h"
#include "live/recording.h"
#include "live/statistics.h"
#include "support/frame.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/widgets.h"
#include "ui/theme.h"

#include <QDateTime>
#include <QDir>
#include <QLCDNumber>
#include <QLabel>
#include <QLineSeries>
#include <QToolButton>
#include <QValueAxis>

#include <algorithm>

// The meter's display frames, hand-built, into digits, value and indicator words, and on the
// live screen as the main window feeds them: display, graph, recording, save. And every input
// the fuzzers kept, crashes they found included, through the same checks as theirs.
class ConnectionScreenTest : public QObject
{
    Q_OBJECT

    const QDateTime someTime{ QDate(2024, 3, 5), QTime(14, 7, 9, 42) };
    Reading decoded(const QByteArray &hex)
    {
        return decodeFrame(hex, someTime).value_or(Reading());
    }
    static QStringList digits(const Reading &r)
    {
        return { r.digit1, r.digit2, r.digit3, r.digit4 };
    }

    static void feed(connectionScreen &s, const QByteArray &hex)
    {
        s.receivedData = hex;
        emit s.dataChanged();
    }
    static void press(connectionScreen &s, const char *name)
    {
        child<QToolButton>(&s, name)->click();
    }
    // Frames showing first, first + 1, ... hundredths of a milli volt.
    void record(connectionScreen &s, int frames, int first = 1)
    {
        for (int i = first; i < first + frames; ++i)
            feed(s, frame(QByteArray::number(i).rightJustified(4, '0').constData(), { 40, 49 }, 2));
    }

private slots:
    void numbers_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("digits");
        QTest::addColumn<float>("value");
        QTest::newRow("all dark") << frame("    ") << "? ? ? ?" << 999999.0f;
        QTest::newRow("12.34") << frame("1234", {}, 2) << "1 2. 3 4" << 12.34f;
        QTest::newRow("0.042") << frame("0042", {}, 1) << "0. 0 4 2" << 0.042f;
        QTest::newRow("987.6") << frame("9876", {}, 3) << "9 8 7. 6" << 987.6f;
        QTest::newRow("minus is no digit") << frame("1500", { 4 }) << "1 5 0 0" << 1500.0f;
        QTest::newRow("letter L") << frame("1L34") << "1 ? 3 4" << 999999.0f;
        QTest::newRow("blank") << frame("123 ", {}, 1) << "1. 2 3 ?" << 999999.0f;
        QTest::newRow("point after L") << frame("1L34", {}, 2) << "1 ?. 3 4" << 0.0f;
        QTest::newRow("two points") << frame("1234", { 12 }, 2) << "1. 2. 3 4" << 0.0f;
    }

    void numbers()
    {
        QFETCH(QByteArray, frame);
        const Reading r = decoded(frame);
        QTEST(digits(r).join(' ').replace("abnormality", "?"), "digits");
        QTEST(r.value, "value");
    }

    // All 128 patterns of each position: exactly the ten digits, each by its own pattern.
    void everySegmentPatternOfEveryPosition()
    {
        for (int position = 1; position <= 4; ++position) {
            QString found;
            for (int pattern = 0; pattern < 128; ++pattern) {
                QByteArray letters;
                for (int s = 0; s < 7; ++s)
                    letters += pattern & (1 << s) ? QByteArray(1, "abcdefg"[s]) : QByteArray();
                const QString text = digits(
                    decoded(Frame().digit(position, letters.constData()).hex()))[position - 1];
                if (text != "abnormality") {
                    QCOMPARE(letters, QByteArray(Frame::segmentsOf(text.at(0).toLatin1())));
                    found += text;
                }
            }
            std::sort(found.begin(), found.end());
            QCOMPARE(found, "0123456789");
        }
    }

    // Each indicator alone gives its word, a unit's before the bar and a setting's after; all
    // of them (and the unused bit 54) give every word, in this order.
    void indicatorWords()
    {
        const std::pair<int, const char *> words[] = { { 36, "mü |" }, { 37, "n |" }, { 38, "k |" },
            { 40, "m |" }, { 42, "M |" }, { 41, "% |" }, { 44, "F |" }, { 45, "Ohm |" },
            { 53, "°C |" }, { 52, "°F |" }, { 47, "H |" }, { 48, "A |" }, { 49, "V |" },
            { 50, "Hz |" }, { 0, "|AC " }, { 1, "|DC " }, { 2, "|AUTO " }, { 3, "|USB " },
            { 39, "|Diode " }, { 43, "|Sound " }, { 46, "|REL " }, { 51, "|Battery " },
            { 56, "|APO " }, { 57, "|MIN " }, { 58, "|MAX " }, { 55, "|NCV " } };
        Frame all;
        QString units, settings;
        for (const auto &[index, word] : words) {
            const Reading r = decoded(Frame().light(index).hex());
            QCOMPARE(r.unit + "|" + r.settings, QString(word));
            units += QString(word).section('|', 0, 0);
            settings += QString(word).section('|', 1);
            all.light(index);
        }
        const Reading r = decoded(all.light(54).hex());
        QCOMPARE(r.unit + "|" + r.settings, units + "|" + settings);
    }

    // High nibbles and bytes after the 15th are ignored; a short or non-hex frame is refused.
    void payloads()
    {
        const QByteArray good = frame("4271", { 4, 40, 49, 58 }, 2);
        const Reading plain = decoded(good);
        // Qt writes the six z as the milliseconds twice; stored series carry exactly this.
        QCOMPARE(plain.timestamp, "2024-03-05 14:07:09.042042");
        for (QByteArray hex : { good + "0a0b", good + "ZZ", QByteArray(good).replace(0, 1, "f"),
                 QByteArray(good).replace(14, 1, "Z"), QByteArray(good).replace(28, 1, "\x80") }) {
            const Reading r = decoded(hex);
            QVERIFY2(r.segments == plain.segments && r.unit == plain.unit, hex.constData());
        }
        // Cut out of a good frame without a terminator, so a read past the end would succeed.
        for (int length : { 0, 28, 29 })
            QVERIFY(!decodeFrame(QByteArray::fromRawData(good.constData(), length), someTime));
        for (char bad : QByteArray("AFgz :\xc3\0", 8)) {
            for (int byte : { 0, 7, 14 })
                QVERIFY(!decodeFrame(
                    QByteArray(good).replace(2 * byte + 1, 1, QByteArray(1, bad)), someTime));
        }
    }

    // Each indicator bit shows exactly one label of the meter face, a label of its own.
    void indicatorsFollowTheFrame()
    {
        Recording recording{ QBluetoothDeviceInfo() };
        connectionScreen screen(0, &recording);
        screen.show();
        const auto visible = [&] {
            QSet<QString> names;
            for (QLabel *label : screen.findChildren<QLabel *>())
                names << (label->isVisible() ? label->objectName() : QString());
            return names;
        };
        feed(screen, frame("1234"));
        const QSet<QString> plain = visible();
        QVERIFY(plain.contains("bluetoothLabel"));
        QSet<QString> lit;
        for (int bit = 0; bit < Segment::Count; bit += bit == 4 ? 32 : bit == 53 ? 2 : 1) {
            feed(screen, frame("1234", { bit }));
            const QSet<QString> shown = visible() - plain;
            QVERIFY2(shown.size() == 1 && !lit.intersects(shown), qPrintable(QString::number(bit)));
            lit += shown;
        }
    }

    // One walk in the dark theme. Each box stands in for the screen on a white page, and the
    // screen is dark again after it; save hands over everything since the last cancel and pauses.
    void recording()
    {
        Recording recorded{ QBluetoothDeviceInfo() };
        connectionScreen screen(0, &recorded);
        screen.setDarkMode(true);
        screen.isDarkMode = true;
        screen.show();
        QList<QList<QPointF>> saves;
        connect(&screen, &connectionScreen::saveMeasure, this, [&] {
            QVERIFY(recorded.save());
            QVERIFY(!recorded.isRunning());
            saves.append(recorded.samples().points);
        });
        const auto texts = [&recorded](qsizetype j) {
            return recorded.samples().unit(j) + recorded.samples().settings(j);
        };
        ModalAnswer answer({ ModalAnswer::dismiss(), ModalAnswer::press(QMessageBox::Ok),
            ModalAnswer::press(QMessageBox::Ok) });
        record(screen, 3);
        press(screen, "playToolButton");
        press(screen, "saveToolButton");
        QVERIFY(saves.isEmpty() && recorded.isRunning());
        const QByteArray good = frame("1234", { 0, 2, 40, 49 }, 2);
        feed(screen, good);
        QCOMPARE(recorded.samples().points, QList<QPointF>{ QPointF(1, double(12.34f)) });
        QCOMPARE(texts(0), "m V AC AUTO ");
        auto *figures = child<QLabel>(&screen, "statisticsLabel");
        QCOMPARE(figures->text(), "0:00:00 h · 1 Punkt · Min 12.34 · Max 12.34 · Mittel 12.34 mV");

        // A damaged notification changes neither the display nor the series.
        for (const QByteArray &bad :
            { QByteArray(), good.left(29), "0A" + good.mid(2), good.left(29) + "x" })
            feed(screen, bad);
        QCOMPARE(screen.lcd->value(), double(12.34f));
        QCOMPARE(recorded.size(), 1);

        record(screen, 20);
        QCOMPARE(screen.liveSeries->points().constFirst(), QPointF(2, double(0.01f)));
        QCOMPARE(screen.liveSeries->count(), 20);

        // Paused, the display goes on and the series does not; no x is skipped after it.
        press(screen, "playToolButton");
        record(screen, 10, 500);
        QCOMPARE(screen.lcd->value(), double(5.09f));
        press(screen, "playToolButton");
        feed(screen, frame(" 0L ", { 40, 49 }, 2));
        QLCDNumber shows0L(5, screen.lcd->parentWidget());
        shows0L.setGeometry(screen.lcd->geometry());
        shows0L.setStyleSheet(screen.lcd->styleSheet());
        shows0L.display("0.L");
        QCOMPARE(screen.lcd->grab().toImage(), shows0L.grab().toImage());
        QCOMPARE(recorded.samples().points.constLast(), QPointF(22, 0.0));
        QCOMPARE(texts(21), "m V ?");
        QCOMPARE(recorded.size(), 22);

        press(screen, "saveToolButton");
        press(screen, "playToolButton");
        record(screen, 2, 10);
        press(screen, "saveToolButton");
        QCOMPARE(saves.size(), 2);
        QCOMPARE(saves[1].mid(0, 22), saves[0]);
        QCOMPARE(saves[1].size(), 24);
        QVERIFY(answer.done());
        for (const ModalAnswer::Seen &box : answer.seen()) {
            QCOMPARE(box.title,
                &box == &answer.box() ? "Keine Messreihe gestartet"
                                      : "Messung erfolreich gespeichert!");
            QCOMPARE(box.parentStyleSheet, Theme::pageStyle(false));
            QVERIFY(!box.parentVisible);
        }
        QCOMPARE(screen.styleSheet(), Theme::pageStyle(true));

        // Cancel stops and starts afresh, with a blank chart until the next point.
        press(screen, "playToolButton");
        press(screen, "cancelToolButton");
        QVERIFY(!screen.axisX->isVisible() && !screen.liveSeries->count()
            && recorded.size() == 0 && figures->text().isEmpty());
        record(screen, 1);
        press(screen, "playToolButton");
        record(screen, 1, 7);
        QVERIFY(screen.axisX->isVisible());
        QCOMPARE(recorded.samples().points, QList<QPointF>{ QPointF(1, double(0.07f)) });
        QCOMPARE(figures->text(), "0:00:00 h · 1 Punkt · Min 0.07 · Max 0.07 · Mittel 0.07 mV");
    }

    // The figures of a series, point by point: the readable points of the newest point's unit,
    // "?" points counted but left out, a cancel forgetting everything before it.
    void statistics_data()
    {
        QTest::addColumn<QStringList>("points"); // y, unit, seconds after the first; or cancel
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("line");
        QTest::newRow("one point") << QStringList{ "5.012|V |0" } << 0
                                   << "0:00:00 h · 1 Punkt · Min 5.012 · Max 5.012 · Mittel "
                                      "5.012 V";
        const QStringList mixed = { "1.5|V |0", "325.8|m V |1", "300.2|m V |2.5", "2|V |3",
            "310|m V |65" };
        QTest::newRow("units mixed, the newest milli volts")
            << mixed << 0
            << "0:01:05 h · 5 Punkte · Min 300.2 · Max 325.8 · Mittel 312 mV";
        QTest::newRow("in English") << mixed << 1
                                    << "0:01:05 h · 5 points · min 300.2 · max 325.8 · "
                                       "mean 312 mV";
        QTest::newRow("the newest unreadable")
            << QStringList{ "4.7|k Ohm |0", "0|M Ohm ?|1", "4.9|k Ohm |2", "0|k Ohm ?|3" } << 0
            << "0:00:03 h · 4 Punkte · Min 4.7 · Max 4.9 · Mittel 4.8 k\u2126";
        QTest::newRow("nothing readable in the newest unit")
            << QStringList{ "5|V |0", "0|M Ohm ?|7322" } << 1
            << "2:02:02 h · 2 points · min – · max – · mean – M\u2126";
        QTest::newRow("a day and more, in micro amperes")
            << QStringList{ "-0.5|mü A |0", "12.25|mü A |93784" } << 0
            << "26:03:04 h · 2 Punkte · Min -0.5 · Max 12.25 · Mittel 5.875 \u03bcA";
        QTest::newRow("cancelled, then one point")
            << QStringList{ "1|V |0", "2|V |10", "cancel", "23.5|°C |20" } << 0
            << "0:00:00 h · 1 Punkt · Min 23.5 · Max 23.5 · Mittel 23.5 °C";
    }

    void statistics()
    {
        QFETCH(QStringList, points);
        QFETCH(int, language);
        QFETCH(QString, line);
        Statistics figures;
        QCOMPARE(figures.line(language), QString());
        const QDateTime start(QDate(2026, 12, 7), QTime(9, 0));
        for (const QString &point : points) {
            const QStringList p = point.split('|');
            if (point == "cancel")
                figures.clear();
            else
                figures.add(p[0].toDouble(), p[1], start.addMSecs(qint64(p[2].toDouble() * 1000)));
        }
        QCOMPARE(figures.line(language), line);
    }

    // The longest line a day's recording can give (six-digit count, two-digit hours, negative
    // five-digit figures) fits the band it is shown in, in both languages.
    void statisticsFitTheScreen()
    {
        Recording recording{ QBluetoothDeviceInfo() };
        connectionScreen screen(0, &recording);
        const QLabel *band = child<QLabel>(&screen, "statisticsLabel");
        Statistics figures;
        const QDateTime start(QDate(2026, 12, 7), QTime(9, 0));
        for (int n = 0; n < 100000; ++n)
            figures.add(n % 2 ? -1234.5 : -9876.5, "M Ohm ", start.addSecs(n));
        for (int language : { 0, 1 }) {
            const QString line = figures.line(language);
            QVERIFY2(band->fontMetrics().horizontalAdvance(line) <= band->width(), qPrintable(line));
        }
    }

    void fuzzCorpora()
    {
        for (auto [corpus, target] :
            { std::pair{ "decoder", fuzzDecoder }, { "store", fuzzStore }, { "journal", fuzzJournal } }) {
            const QDir dir(KALVION_SOURCE_DIR "/fuzz/corpus/" + QString(corpus));
            const QStringList inputs = dir.entryList(QDir::Files);
            QVERIFY2(!inputs.isEmpty(), qPrintable(dir.path()));
            for (const QString &name : inputs) {
                QFile file(dir.filePath(name));
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QByteArray data = file.readAll();
                target(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
            }
        }
    }
};

KALVION_TEST_MAIN(ConnectionScreenTest)
#include "tst_live.moc"
