#include "app/startup.h"
#include "store/journal.h"
#include "support/files.h"
#include "support/storedmeter.h"
#include "support/testmain.h"

#include <QDir>
#include <QProcess>

#include <unistd.h>

// kalvion list and export as a script runs them: the built program, without a display, on a
// store written key by key and a journal that the program's own journal code left beside it.
class CliTest : public QObject
{
    Q_OBJECT

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
    static Run run(const QStringList &arguments, bool closedOutput = false)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            environment.remove(name);
        QProcess program;
        program.setProcessEnvironment(environment);
        if (closedOutput) {
            program.setChildProcessModifier([] {
                int ends[2];
                if (::pipe(ends) == 0 && ::close(ends[0]) == 0)
                    ::dup2(ends[1], STDOUT_FILENO);
            });
        }
        program.start(KALVION_EXECUTABLE, arguments);
        program.waitForFinished();
        return { program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            program.readAllStandardOutput(), program.readAllStandardError() };
    }

private slots:
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
            journal.startRecording(
                QBluetoothDeviceInfo(QBluetoothAddress(address), "M27K53C", 0), "Werkbank");
            journal.appendPoint({ 0, "A ", "r-1", "DC " });
            journal.appendPoint({ 5, "A ", "r-2", "DC " });
        }
        Startup::InstanceLock window;
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
            "Usage: kalvion [options] export <meter> <measurement>\n");
        row("unknown command", { "frobnicate" }, 1, "kalvion: no command \"frobnicate\"");
        row("bad option", { "list", "--bogus" }, 1, "kalvion: Unknown option 'bogus'.\n");
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
        const Run ran = run(arguments, setup == "closed");
        QDir().rmdir(store);
        QCOMPARE(ran.status, status);
        if (status == 0)
            QVERIFY2(ran.out.startsWith(said.toUtf8()), ran.out);
        else
            QVERIFY2(ran.err.contains(said.toUtf8()) && ran.out.isEmpty(), ran.err);
    }
};

KALVION_TEST_MAIN(CliTest)
#include "tst_cli.moc"
