#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <unistd.h>

// kalvion record as a script runs it: the built program, without a display, against the
// virtual meter. What it writes is checked against readings the test reads off the frames it
// sent, by its own table.
class RecordTest : public QObject
{
    Q_OBJECT

    VirtualMeter meter;
    const QString second = QStringLiteral("C8:27:53:0C:00:02");

    // A frame the virtual meter sends, and what the meter's display shows for it: the value as
    // a CSV file writes it, the unit, the settings and the display's text.
    struct Shown {
        const char *frame;
        QString value, unit, settings, display;
    };
    const QList<Shown> shown = {
        { "dc-volts", "5.012", "V ", "DC AUTO ", "5.012" },
        { "negative", "1.5", "V ", "DC AUTO ", "-1.500" },
        { "overload", "0.L", "M Ohm ", "AUTO ", "0.L" },
        { "ohms", "4.7", "k Ohm ", "AUTO ", "4.700" },
    };

    static QProcessEnvironment withoutDisplay()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            environment.remove(name);
        return environment;
    }

    static void start(QProcess &program, const QStringList &arguments, bool closedOutput = false)
    {
        program.setProcessEnvironment(withoutDisplay());
        if (closedOutput) {
            program.setChildProcessModifier([] {
                int ends[2];
                if (::pipe(ends) == 0 && ::close(ends[0]) == 0)
                    ::dup2(ends[1], STDOUT_FILENO);
            });
        }
        program.start(KALVION_EXECUTABLE, QStringList{ "record" } + arguments);
    }

private slots:
    void init()
    {
        meter.reset({ { "streaming", false } });
        meter.call("AddMeter", { QString("M27K53C") });
        writeStore({ StoredMeter{ "Werkbank, links", "C8:27:53:0C:00:01", "M27K53C", {} } });
    }

    // Two meters at once, one by its label and one by an address the store does not know: each
    // counts its own readings, one line each as it arrives.
    void twoMeters_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("CSV") << "csv";
        QTest::newRow("JSON lines") << "jsonl";
    }

    void twoMeters()
    {
        QFETCH(QString, format);
        QProcess program;
        start(program, { "--meter", "Werkbank, links", "--meter", second, "--samples",
                           QString::number(shown.size()), "--format", format });
        QTRY_COMPARE_WITH_TIMEOUT(meter.strings("NotifyingPaths").size(), 2, 10000);
        for (const Shown &s : shown)
            meter.call("SendCanned", { QString(s.frame) });
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
        QList<QByteArray> lines = program.readAllStandardOutput().split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        if (format == "csv")
            QCOMPARE(lines.takeFirst(), "meter,number,time,value,unit,settings");
        QCOMPARE(lines.size(), 2 * shown.size());
        const QRegularExpression csvTime("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{6}$");
        const QRegularExpression isoTime(
            "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d$");
        for (const auto &[label, address] :
            { std::pair{ QString("Werkbank, links"), QString("C8:27:53:0C:00:01") },
                { second, second } }) {
            int number = 0;
            for (const QByteArray &line : std::as_const(lines)) {
                if (format == "csv") {
                    const QString quoted = label.contains(',') ? '"' + label + '"' : label;
                    if (!line.startsWith((quoted + ',').toUtf8()))
                        continue;
                    const QStringList field = QString::fromUtf8(line.mid(quoted.size() + 1)).split(',');
                    const Shown &s = shown[number++];
                    QCOMPARE(field.size(), 5);
                    QCOMPARE(field[0], QString::number(number));
                    QVERIFY2(csvTime.match(field[1]).hasMatch(), line);
                    QCOMPARE(field.mid(2), QStringList({ s.value, s.unit, s.settings }));
                } else {
                    const QJsonObject o = QJsonDocument::fromJson(line).object();
                    if (o["meter"].toString() != label)
                        continue;
                    const Shown &s = shown[number++];
                    QCOMPARE(o["address"].toString(), address);
                    QCOMPARE(o["number"].toInt(), number);
                    QVERIFY2(isoTime.match(o["time"].toString()).hasMatch(), line);
                    QCOMPARE(o["value"].isNull() ? QString("0.L") : QString::number(o["value"].toDouble()), s.value);
                    QCOMPARE(o["unit"].toString(), s.unit);
                    QCOMPARE(o["settings"].toString(), s.settings);
                    QCOMPARE(o["display"].toString(), s.display);
                }
            }
            QCOMPARE(number, shown.size());
        }
    }

    // SIGINT, SIGTERM and SIGHUP end it within a second, with what it recorded written and a
    // summary on stderr.
    void endsOnSignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void endsOnSignal()
    {
        QFETCH(int, signal);
        QProcess program;
        start(program, { "--meter", "Werkbank, links" });
        QTRY_COMPARE_WITH_TIMEOUT(meter.strings("NotifyingPaths").size(), 1, 10000);
        for (int i = 0; i < 3; ++i)
            meter.call("SendCanned", { QString("dc-volts") });
        QTest::qWait(500);
        QElapsedTimer ending;
        ending.start();
        ::kill(pid_t(program.processId()), signal);
        QVERIFY(program.waitForFinished(1000));
        QVERIFY(ending.elapsed() < 1000);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(program.readAllStandardError(),
            "kalvion record: Werkbank, links: 0:00:00 h · 3 points · min 5.012 · max 5.012 · "
            "mean 5.012 V\n");
    }

    // Each way it cannot go on has its own exit status and says why on stderr.
    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QVariantMap>("bluetooth");
        QTest::addColumn<bool>("closedOutput");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const QVariantMap fine;
        QTest::newRow("a wrong option") << QStringList{ "--meters", "x" } << fine << false << 1
                                        << "Unknown option 'meters'.";
        QTest::newRow("a wrong format") << QStringList{ "--meter", "x", "--format", "xml" } << fine
                                        << false << 1 << "wrong --format, --duration or --samples";
        QTest::newRow("a wrong duration") << QStringList{ "--duration", "2d" } << fine << false
                                          << 1 << "wrong --format, --duration or --samples";
        QTest::newRow("an unknown label") << QStringList{ "--meter", "Labor" } << fine << false
                                          << 1 << "no known meter is labelled \"Labor\"";
        QTest::newRow("Bluetooth off") << QStringList{ "--meter", "Werkbank, links" }
                                       << QVariantMap{ { "powered", false } } << false << 2
                                       << "Bluetooth is switched off or missing";
        QTest::newRow("no meter found") << QStringList{} << QVariantMap{ { "meter", false } }
                                        << false << 2 << "no meter found";
        QTest::newRow("a full disk") << QStringList{ "--meter", second, "--output", "/dev/full" }
                                     << fine << false << 4 << "No space left on device";
        QTest::newRow("a closed pipe") << QStringList{ "--meter", second } << fine << true << 4
                                       << "cannot write";
    }

    void exitStatuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QVariantMap, bluetooth);
        QFETCH(bool, closedOutput);
        QFETCH(int, status);
        QFETCH(QString, said);
        if (!bluetooth.isEmpty()) {
            bluetooth.insert("streaming", false);
            meter.reset(bluetooth);
        }
        QProcess program;
        start(program, arguments, closedOutput);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString err = QString::fromUtf8(program.readAllStandardError());
        QVERIFY2(err.contains(said), qPrintable(err));
    }
};

KALVION_TEST_MAIN(RecordTest)
#include "tst_record.moc"
