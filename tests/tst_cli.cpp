#include "store/instancelock.h"
#include "store/journal.h"
#include "support/files.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

// The commands as a script runs them: the built program, without a display. list and export
// on a store written key by key and a journal that the program's own journal code left beside
// it; record against the virtual meter, its lines checked against readings the test reads off
// the frames it sent, by its own table.
class CliTest : public QObject
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

    const QString address = QStringLiteral("C8:27:53:0C:00:01");
    const StoredSeries a{ "a", { { 1, 1 }, { 2, -2 }, { 3, 3.5 } }, { "t-1", "t-2", "t-3" },
        { "V ", "m V ", "V " }, { "DC ", "DC ", "AC AUTO " } };
    const StoredSeries b{ "b", { { 1, 0.25 } }, { "u-1" }, { "Ω " }, { "REL " } };
    QTemporaryDir folder;

    struct Run {
        int status;
        QByteArray out, err;
    };

    // `closedOutput` gives the program a pipe that nobody reads as its stdout.
    static void start(QProcess &program, const QStringList &arguments, bool closedOutput = false)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            environment.remove(name);
        program.setProcessEnvironment(environment);
        if (closedOutput) {
            program.setChildProcessModifier([] {
                int ends[2];
                if (::pipe(ends) == 0 && ::close(ends[0]) == 0)
                    ::dup2(ends[1], STDOUT_FILENO);
            });
        }
        program.start(KALVION_EXECUTABLE, arguments);
    }

    static QByteArray readAll(int fd)
    {
        QByteArray bytes(4096, 0);
        pollfd ready{ fd, POLLIN, 0 };
        const ssize_t n = ::poll(&ready, 1, 100) == 1 ? ::read(fd, bytes.data(), 4096) : 0;
        return bytes.left(std::max<ssize_t>(n, 0));
    }

    static Run run(const QStringList &arguments, bool closedOutput = false)
    {
        QProcess program;
        start(program, arguments, closedOutput);
        program.waitForFinished(20000);
        return { program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            program.readAllStandardOutput(), program.readAllStandardError() };
    }

private slots:
    void init()
    {
        meter.reset({ { "streaming", false } });
        meter.call("AddMeter", { QString("M27K53C") });
    }

    // After the store was last written whole, the second meter was relabelled, and a recording
    // on the first was never saved. While the window runs, both commands see them as a start
    // would, and only read.
    void commandsSeeWhatAStartWouldSee()
    {
        writeStore({ { "Werkbank", address, "M27K53C", { a, b } },
                       { "Alt", "C8:27:53:0C:00:02", "M27K53C", {} } },
            { false, false, 1 });
        const QString store = UserStore().fileName();
        {
            Journal journal(store);
            MeterRecords records;
            Options options;
            journal.open(records, options);
            journal.append({ Change::RelabelMeter,
                QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:02"), "M27K53C", 0),
                "Leer\tzwei", -1, {} });
            const QBluetoothDeviceInfo werkbank(QBluetoothAddress(address), "M27K53C", 0);
            journal.startRecording(werkbank, "Werkbank");
            journal.appendPoint(werkbank, { 0, "A ", "r-1", "DC " });
            journal.appendPoint(werkbank, { 5, "A ", "r-2", "DC " });
        }
        InstanceLock window;
        QVERIFY(window.take());
        const QDir config = QFileInfo(store).dir();
        const QStringList files = config.entryList(QDir::AllEntries | QDir::Hidden);
        const QByteArray storeBytes = fileBytes(store);
        const QByteArray journalBytes = fileBytes(Journal::Files(store).journal);

        const QByteArray werkbank = "Werkbank\t" + address.toUtf8() + "\tM27K53C\t";
        const QByteArray listed = "label\taddress\tname\tmeasurement\tpoints\tfirst\n" + werkbank
            + "a\t3\tt-1\n" + werkbank + "b\t1\tu-1\n" + werkbank + "r-1\t2\tr-1\n"
            + "Leer\\tzwei\tC8:27:53:0C:00:02\tM27K53C\t\t\t\n";
        const QString file = folder.filePath("a.csv");
        const QList<Run> runs = { run({ "list" }), run({ "export", "Werkbank", "r-1" }),
            run({ "export", address.toLower(), "1", "--output", file }) };
        QCOMPARE(runs[0].out, listed);
        // As the window's export in English writes them.
        QCOMPARE(runs[1].out,
            "Measurementr-1\nDevice:" + address.toUtf8()
                + "\n\nSettings:DC ,r-1\n\nData,Unit,Time\n0,A ,r-1\n5,A ,r-2\n");
        QCOMPARE(fileBytes(file),
            "Measurementa\nDevice:" + address.toUtf8()
                + "\n\nSettings:DC ,t-1\nSettings:AC AUTO ,t-3\n\nData,Unit,Time\n1,V ,t-1\n"
                  "-2,m V ,t-2\n3.5,V ,t-3\n");
        for (const Run &r : runs)
            QCOMPARE(QList<QVariant>({ r.status, r.err }), QList<QVariant>({ 0, QByteArray() }));

        QCOMPARE(config.entryList(QDir::AllEntries | QDir::Hidden), files);
        QCOMPARE(fileBytes(store), storeBytes);
        QCOMPARE(fileBytes(Journal::Files(store).journal), journalBytes);
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said"); // the start of stdout, or else a part of stderr
        QTest::addColumn<QString>("setup");
        const auto row = [](const char *name, const QStringList &arguments, int status,
                             const QString &said, const QString &setup = {}) {
            QTest::newRow(name) << arguments << status << said << setup;
        };
        const QString measurements = "; its measurements are: \"a\", \"b\"\n";
        row("help", { "--help" }, 0, "Usage: kalvion [options] command\n");
        row("version", { "--version" }, 0, "kalvion " KALVION_VERSION "\n");
        row("help of export", { "export", "-h" }, 0,
            "Usage: kalvion export [options] <meter> <measurement>\n");
        row("unknown command", { "frobnicate" }, 1, "kalvion: no command \"frobnicate\"");
        row("bad option", { "list", "--bogus" }, 1, "kalvion list: Unknown option 'bogus'.\n");
        row("no measurement", { "export", "Werkbank" }, 1, "export: wrong number of arguments");
        row("unknown label", { "export", "Nirgends", "a" }, 1,
            "kalvion export: no meter \"Nirgends\"; the meters are: \"Werkbank\" (" + address
                + ")\n");
        row("unknown measurement", { "export", "Werkbank", "c" }, 1,
            "meter \"Werkbank\" has no measurement \"c\"" + measurements);
        row("number past the last", { "export", "Werkbank", "3" }, 1,
            "no measurement \"3\"" + measurements);
        row("full disk", { "export", "Werkbank", "a", "-o", "/dev/full" }, 4,
            "cannot write /dev/full: No space left on device\n");
        row("folder", { "export", "Werkbank", "a", "--output=" + folder.path() }, 4,
            "cannot write " + folder.path() + ": Is a directory\n");
        row("no such folder", { "export", "Werkbank", "a", "-o", folder.filePath("x/a.csv") }, 4,
            "cannot write " + folder.filePath("x/a.csv") + ": ");
        row("closed pipe", { "list" }, 4, "cannot write the standard output: Broken pipe\n",
            "closed");
        row("store is a folder", { "list" }, 5,
            "kalvion list: cannot read " + UserStore().fileName() + ": ", "folder");
        row("record: a wrong duration", { "record", "--duration", "2d" }, 1,
            "wrong --format, --duration, --give-up-after, --samples or --save");
        row("record: an unknown label", { "record", "--meter", "Labor" }, 1,
            "no known meter is labelled \"Labor\"");
        row("record: Bluetooth off", { "record", "--meter", "Werkbank" }, 2,
            "Bluetooth is switched off or missing", "powered");
        row("record: no meter found", { "record" }, 2, "no meter found", "meter");
        row("record: a full disk", { "record", "--meter", second, "--output", "/dev/full" }, 4,
            "No space left on device");
        row("record: a closed pipe", { "record", "--meter", second }, 4, "cannot write", "closed");
        row("record: a device that cannot be synced",
            { "record", "--meter", second, "--duration", "2s", "--output", "/dev/null" }, 0, "");
        row("record: a store that cannot be read", { "record", "--meter", "Werkbank" }, 5,
            "cannot read", "folder");
        row("record: saving while the window runs",
            { "record", "--meter", "Werkbank", "--save", "x" }, 5,
            "kalvion record: the store is in use by the window or another record --save; close it "
            "to save into the store, or record without --save\n",
            "window");
    }

    void exitStatuses()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, said);
        QFETCH(QString, setup);
        writeStore({ { "Werkbank", address, "M27K53C", { a, b } } });
        const QString store = UserStore().fileName();
        if (setup == "folder")
            QVERIFY(QFile::remove(store) && QDir().mkdir(store));
        if (setup == "powered" || setup == "meter")
            meter.reset({ { "streaming", false }, { setup, false } });
        InstanceLock window;
        QVERIFY(setup != "window" || window.take());
        const Run ran = run(arguments, setup == "closed");
        QDir().rmdir(store);
        QCOMPARE(ran.status, status);
        if (status == 0)
            QVERIFY2(ran.out.startsWith(said.toUtf8()), ran.out);
        else
            QVERIFY2(ran.err.contains(said.toUtf8())
                    && (ran.out.isEmpty() || arguments[0] == "record"), // its header goes first
                ran.err);
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
        writeStore({ StoredMeter{ "Werkbank, links", address, "M27K53C", {} } });
        QProcess program;
        start(program,
            { "record", "--meter", "Werkbank, links", "--meter", second, "--samples",
                QString::number(shown.size()), "--format", format });
        QTRY_COMPARE_WITH_TIMEOUT(meter.strings("NotifyingPaths").size(), 2, 10000);
        for (const Shown &s : shown)
            meter.call("SendCanned", { QString(s.frame) });
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
        QList<QByteArray> lines = program.readAllStandardOutput().chopped(1).split('\n');
        if (format == "csv")
            QCOMPARE(lines.takeFirst(), "meter,number,time,value,unit,settings");
        QCOMPARE(lines.size(), 2 * shown.size());
        const QRegularExpression csvTime(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{6}$)"),
            isoTime(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)");
        for (const auto &[label, at] :
            { std::pair{ QString("Werkbank, links"), address }, { second, second } }) {
            int number = 0;
            for (const QByteArray &line : std::as_const(lines)) {
                if (format == "csv") {
                    const QString quoted = label.contains(',') ? '"' + label + '"' : label;
                    if (!line.startsWith((quoted + ',').toUtf8()))
                        continue;
                    const QStringList field
                        = QString::fromUtf8(line.mid(quoted.size() + 1)).split(',');
                    const Shown &s = shown[number++];
                    QCOMPARE(field[0], QString::number(number));
                    QVERIFY2(csvTime.match(field[1]).hasMatch(), line);
                    QCOMPARE(field.mid(2), QStringList({ s.value, s.unit, s.settings }));
                } else {
                    const QJsonObject o = QJsonDocument::fromJson(line).object();
                    if (o["meter"].toString() != label)
                        continue;
                    const Shown &s = shown[number++];
                    QCOMPARE(o["address"].toString(), at);
                    QCOMPARE(o["number"].toInt(), number);
                    QVERIFY2(isoTime.match(o["time"].toString()).hasMatch(), line);
                    QCOMPARE(o["value"].isNull() ? QString("0.L")
                                                 : QString::number(o["value"].toDouble()),
                        s.value);
                    QCOMPARE(o["unit"].toString(), s.unit);
                    QCOMPARE(o["settings"].toString(), s.settings);
                    QCOMPARE(o["display"].toString(), s.display);
                }
            }
            QCOMPARE(number, shown.size());
        }
    }

    // The readings of one meter in record's CSV output of several, each as the window's export
    // writes a data line: value, unit, time.
    static QByteArrayList dataLines(const QByteArray &csv, const QString &label)
    {
        QByteArrayList lines;
        for (const QByteArray &line : csv.split('\n')) {
            const QByteArrayList field = line.split(',');
            if (field.size() == 6 && field[0] == label.toUtf8())
                lines.append(field[3] + ',' + field[4] + ',' + field[2]);
        }
        return lines;
    }

    // With --save, each meter's series goes into the store as the window saves it, under the
    // name given; a meter the store did not know joins it under its advertised name. The
    // window's export then holds the very readings and time stamps of the output. Killed, it
    // has lost nothing that came a second before, which the next start keeps.
    void savesIntoTheStore_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::newRow("ended") << false;
        QTest::newRow("killed") << true;
    }

    void savesIntoTheStore()
    {
        QFETCH(bool, killed);
        writeStore({ StoredMeter{ "Werkbank", address, "M27K53C", {} } }, { false, false, 1 });
        QProcess program;
        start(program, { "record", "--meter", "Werkbank", "--meter", second, "--save", "Lauf 1" });
        QTRY_COMPARE_WITH_TIMEOUT(meter.strings("NotifyingPaths").size(), 2, 20000);
        for (const Shown &s : shown)
            meter.call("SendCanned", { QString(s.frame) });
        QTest::qWait(1500);
        ::kill(pid_t(program.processId()), killed ? SIGKILL : SIGTERM);
        QVERIFY(program.waitForFinished(5000));
        QCOMPARE(program.exitStatus() == QProcess::NormalExit, !killed);
        const QByteArray out = program.readAllStandardOutput();
        const QByteArray listed = run({ "list" }).out;
        for (const auto &[label, at] :
            { std::pair{ QString("Werkbank"), address }, { QString("M27K53C"), second } }) {
            const QByteArrayList lines = dataLines(out, at == second ? second : label);
            QCOMPARE(lines.size(), shown.size());
            // Recovered at the next start, a series is named after its first time stamp.
            const QByteArray name = killed ? lines[0].split(',')[2] : "Lauf 1";
            QVERIFY2(listed.contains(label.toUtf8() + '\t' + at.toUtf8() + "\tM27K53C\t" + name
                         + '\t' + QByteArray::number(shown.size()) + '\t'),
                listed);
            const Run exported = run({ "export", at, "1" });
            QCOMPARE(exported.out.mid(exported.out.indexOf("Data,Unit,Time\n") + 15),
                lines.join('\n') + '\n');
        }
        QVERIFY(InstanceLock().take());
    }

    // A meter out of reach for a moment comes back in the same series; one that stays away is
    // given up once its time has passed, while the other goes on, and the exit status says so.
    void lostAndGivenUp()
    {
        writeStore({ StoredMeter{ "Werkbank", address, "M27K53C", {} } });
        QProcess program;
        start(program, { "record", "--meter", "Werkbank", "--meter", second, "--give-up-after",
                           "4s" });
        QTRY_COMPARE_WITH_TIMEOUT(meter.strings("NotifyingPaths").size(), 2, 10000);
        meter.call("SendCanned", { QString("dc-volts") });
        meter.call("OutOfRange", { second, 1.0 });
        QTRY_COMPARE_WITH_TIMEOUT(meter.strings("NotifyingPaths").size(), 2, 10000);
        meter.call("SendCanned", { QString("ohms") });
        meter.call("OutOfRange", { address, 600.0 });
        QTest::qWait(7500);
        meter.call("SendCanned", { QString("negative") });
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(5000));
        QCOMPARE(program.exitCode(), 3);
        const QByteArray out = program.readAllStandardOutput();
        QCOMPARE(dataLines(out, "Werkbank").size(), 2);
        QCOMPARE(dataLines(out, second).size(), 3);
        const QByteArrayList said = program.readAllStandardError().split('\n');
        QVERIFY2(said[0].startsWith("kalvion record: Werkbank: ")
                && said[0].endsWith(" · 2 readings · min 5.012 · max 5.012 · mean 5.012 V · "
                                    "min 4.7 · max 4.7 · mean 4.7 k\u2126 (given up)"),
            said[0]);
    }

    // On a terminal, a line per meter is kept up to date in place, and makes way for the summary.
    void statusOnATerminal()
    {
        writeStore({ StoredMeter{ "Werkbank", address, "M27K53C", {} } });
        int terminal = -1, end = -1;
        termios raw{};
        ::cfmakeraw(&raw);
        QVERIFY(::openpty(&terminal, &end, nullptr, &raw, nullptr) == 0);
        QProcess program;
        program.setChildProcessModifier([end] { ::dup2(end, STDERR_FILENO); });
        start(program, { "record", "--meter", "Werkbank", "--meter", second });
        ::close(end);
        QTRY_COMPARE_WITH_TIMEOUT(meter.strings("NotifyingPaths").size(), 2, 10000);
        meter.call("SendCanned", { QString("dc-volts") });
        meter.call("OutOfRange", { second, 60.0 });
        meter.call("SendCanned", { QString("ohms") });
        QByteArray shown;
        const QByteArray lines = "\r\033[KWerkbank: linked · 2 readings · 4.7 k\u2126\n"
                                 "\r\033[K" + second.toUtf8() + ": reconnecting · 1 reading · 5.012 V\n";
        QTRY_VERIFY2_WITH_TIMEOUT(
            (shown += readAll(terminal)).endsWith(lines), shown.right(200), 5000);
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(5000));
        shown = readAll(terminal);
        ::close(terminal);
        QVERIFY2(shown.startsWith("\033[2A\033[Jkalvion record: Werkbank: "), shown);
    }

    // SIGINT, SIGTERM and SIGHUP end it within a second, with a summary on stderr.
    void endsOnSignal()
    {
        writeStore({ StoredMeter{ "Werkbank", address, "M27K53C", {} } });
        for (int signal : { SIGINT, SIGTERM, SIGHUP }) {
            QProcess program;
            start(program, { "record", "--meter", "Werkbank" });
            QTRY_COMPARE_WITH_TIMEOUT(meter.strings("NotifyingPaths").size(), 1, 10000);
            for (int i = 0; i < 3; ++i)
                meter.call("SendCanned", { QString("dc-volts") });
            QTest::qWait(500);
            QElapsedTimer ending;
            ending.start();
            ::kill(pid_t(program.processId()), signal);
            QVERIFY(program.waitForFinished(1000) && ending.elapsed() < 1000
                && program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0);
            QCOMPARE(program.readAllStandardError(),
                "kalvion record: Werkbank: 0:00:00 h · 3 readings "
                "· min 5.012 · max 5.012 · mean 5.012 V\n");
            QTRY_VERIFY(meter.strings("NotifyingPaths").isEmpty());
        }
    }
};

KALVION_TEST_MAIN(CliTest)
#include "tst_cli.moc"
