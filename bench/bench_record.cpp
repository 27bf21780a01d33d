// kalvion record as a script runs it: the built program without a display, against the virtual
// meter, each run in a settings folder of its own. One known meter from the start of the program
// until its link is up and from then until the first reading is on stdout, 5 rounds; and two
// meters at a steady rate for many readings into a file, every one checked, in CPU time per
// reading and resident memory from the first reading to the last.

#include "store/store.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <utility>

namespace {

// The virtual meter's first meter: StoredMeter's defaults are its address and name.
const StoredMeter known;

// The program run as a script runs it, without a display, in a settings folder of its own; it
// gets SIGTERM when it goes.
struct Program {
    QTemporaryDir config;
    QProcess process;

    void start(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            environment.remove(name);
        environment.insert("XDG_CONFIG_HOME", config.path());
        process.setProcessEnvironment(environment);
        process.start(KALVION_EXECUTABLE, arguments);
    }

    // The path of the store in this program's folder.
    QString store() const
    {
        return config.filePath(
            QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).relativeFilePath(Store::fileName()));
    }

    // True when it ended with status 0.
    bool end()
    {
        if (process.processId() > 0)
            ::kill(pid_t(process.processId()), SIGTERM);
        return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }

    ~Program()
    {
        if (process.state() != QProcess::NotRunning)
            end();
    }
};

bool waitForNotifying(VirtualMeter &meter, int meters)
{
    QElapsedTimer clock;
    clock.start();
    while (meter.strings("NotifyingPaths").size() < meters) {
        if (clock.elapsed() > 20000)
            return false;
        QThread::msleep(2);
    }
    return true;
}

// From the start to the link, and from the link to the first reading on stdout, in
// milliseconds; -1 for what did not come within 20 s.
std::pair<double, double> firstLine(VirtualMeter &meter)
{
    meter.reset({ { "streaming", false } });
    Program program;
    writeStoreFile(program.store(), { known });
    QElapsedTimer clock;
    clock.start();
    program.start({ "record", "--meter", known.label });
    if (!waitForNotifying(meter, 1))
        return { -1, -1 };
    const qint64 linked = clock.nsecsElapsed();
    meter.call("SendCanned", { QString("dc-volts") });
    // The CSV header comes first, then the reading.
    QByteArray out;
    while (out.count('\n') < 2 && program.process.waitForReadyRead(20000))
        out += program.process.readAllStandardOutput();
    const double toData = out.count('\n') < 2 ? -1 : (clock.nsecsElapsed() - linked) / 1e6;
    return { linked / 1e6, toData };
}

// The CPU time, user and system, in seconds and the resident memory in MiB of a process.
struct Usage {
    double cpu = 0, rss = 0;
};

Usage usage(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid)), status(QString("/proc/%1/status").arg(pid));
    Usage u;
    if (stat.open(QIODevice::ReadOnly)) {
        // The fields after the command name, from the state (field 3) on.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> field = line.mid(line.lastIndexOf(')') + 2).split(' ');
        u.cpu = (field.value(11).toDouble() + field.value(12).toDouble()) / ::sysconf(_SC_CLK_TCK);
    }
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:"))
                u.rss = line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
        }
    }
    return u;
}

// The readings in the output file so far, read as they come. The first of each meter is the
// one that the start waited for; after it, a burst's frame n shows n modulo 10000, so each
// meter's readings must show 0, 1, 2, ... in that order.
struct Tally {
    QFile file;
    QByteArray rest;
    bool header = true;
    QHash<QByteArray, int> seen; // each meter's readings, the first one included
    int readings = 0; // of the burst
    QString fault;

    void read()
    {
        rest += file.readAll();
        const qsizetype end = rest.lastIndexOf('\n') + 1;
        for (const QByteArray &line : rest.left(end).split('\n')) {
            if (line.isEmpty() || std::exchange(header, false))
                continue;
            const QList<QByteArray> field = line.split(',');
            const int n = seen[field[0]]++ - 1;
            if (n < 0)
                continue;
            ++readings;
            bool number = false;
            if ((field.value(3).toInt(&number) != n % 10000 || !number) && fault.isEmpty())
                fault = QString("%1 reading %2 of the burst is \"%3\"")
                            .arg(QString(field[0]))
                            .arg(n)
                            .arg(QString(line));
        }
        rest.remove(0, end);
    }

    // Said when a meter gave fewer than its share of the burst, once all should be in.
    void count(int each)
    {
        for (auto m = seen.cbegin(); m != seen.cend() && fault.isEmpty(); ++m) {
            if (m.value() - 1 != each)
                fault = QString("%1 gave %2 of %3")
                            .arg(QString(m.key()))
                            .arg(m.value() - 1)
                            .arg(each);
        }
    }
};

// Two meters, each sent `readings` / 2 counter frames at `rate` frames a second.
void steady(VirtualMeter &meter, int readings, double rate)
{
    meter.reset({ { "streaming", false } });
    const QString second = meter.call("AddMeter", { known.name }).arguments().value(0).toString();
    Program program;
    Tally tally;
    tally.file.setFileName(program.config.filePath("readings.csv"));
    program.start({ "record", "--meter", known.address, "--meter", second, "--output",
        tally.file.fileName() });
    const qint64 pid = program.process.processId();
    if (!waitForNotifying(meter, 2) || !tally.file.open(QIODevice::ReadOnly)) {
        std::printf("the two links did not come up within 20 s\n");
        return;
    }
    meter.call("SendCanned", { QString("dc-volts") });
    QElapsedTimer clock, quiet;
    quiet.start();
    while (tally.seen.size() < 2 && quiet.elapsed() < 10000) {
        QThread::msleep(10);
        tally.read();
    }
    if (tally.seen.size() < 2) {
        std::printf("the first reading of each meter did not come within 10 s\n");
        return;
    }
    const Usage start = usage(pid);
    Usage last = start;
    double peak = start.rss, seconds = 0;
    meter.call("SendBurst", { uint(readings / 2), rate });
    clock.start();
    quiet.start();
    qint64 told = 0;
    // Until all are in, or none came for 10 s.
    while (tally.readings < readings && quiet.elapsed() < 10000
        && !program.process.waitForFinished(250)) {
        const int before = tally.readings;
        tally.read();
        if (tally.readings > before)
            quiet.restart();
        last = usage(pid);
        seconds = clock.nsecsElapsed() / 1e9;
        peak = std::max(peak, last.rss);
        if (clock.elapsed() - told >= 120000) {
            told = clock.elapsed();
            std::fprintf(stderr, "bench_record: %d of %d readings after %lld min\n", tally.readings,
                readings, told / 60000);
        }
    }
    const bool ended = program.end();
    tally.count(readings / 2);
    const double perReading = (last.cpu - start.cpu) / std::max(tally.readings, 1);
    std::printf("readings recorded: %d of %d, each meter's counter %s; the program %s\n",
        tally.readings, readings,
        tally.fault.isEmpty() ? "complete and in order" : qPrintable("wrong: " + tally.fault),
        ended ? "ended with status 0 on SIGTERM" : "did not end with status 0 on SIGTERM");
    std::printf("CPU time per reading: %.0f us, %.3f of the %.0f ms between two readings of a "
                "meter; over the burst %.1f %% of one core\n",
        perReading * 1e6, perReading * rate, 1000 / rate, 100 * (last.cpu - start.cpu) / seconds);
    std::printf("resident memory: %.1f MiB at the first reading, %.1f MiB at the last, ratio %.3f "
                "(target <= 1.10); peak seen %.1f MiB\n",
        start.rss, last.rss, last.rss / start.rss, peak);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    noBuses(config.path());
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption readingsOption(
        "readings", "Readings of the two meters together (100000).", "N", "100000");
    const QCommandLineOption rateOption(
        "rate", "Readings a second of each meter (10).", "PER_SECOND", "10");
    parser.addOptions({ readingsOption, rateOption });
    parser.addHelpOption();
    parser.process(app);
    const int readings = parser.value(readingsOption).toInt() / 2 * 2;
    const double rate = parser.value(rateOption).toDouble();
    if (readings <= 0 || rate <= 0)
        parser.showHelp(1);
    VirtualMeter meter;
    if (!meter.isRunning()) {
        std::printf("the virtual meter did not start\n");
        return 1;
    }

    std::printf("kalvion record --meter LABEL, one known meter, stdout a pipe, 5 rounds (-1: did "
                "not come within 20 s):\n  link: from the start of the program until the meter "
                "notifies\n  first line: from then, with one frame sent at once, until the "
                "reading is on stdout\n");
    QList<double> link, line;
    for (int round = 0; round < 5; ++round) {
        const auto [a, b] = firstLine(meter);
        link.append(a);
        line.append(b);
    }
    const auto median = [](QList<double> ms) {
        std::sort(ms.begin(), ms.end());
        return ms[ms.size() / 2];
    };
    const auto worst = [](const QList<double> &ms) {
        return ms.contains(-1) ? -1 : *std::max_element(ms.begin(), ms.end());
    };
    std::printf("link: median %.0f ms, worst %.0f ms\n", median(link), worst(link));
    std::printf("first line: median %.0f ms, worst %.0f ms, the worst %.3f of the 1 s target\n\n",
        median(line), worst(line), worst(line) / 1000);
    std::fflush(stdout);

    std::printf("kalvion record --meter A --meter B --output FILE, each meter sent %d counter "
                "frames at %g a second after one that the start waits for:\n  CPU time (user and "
                "system) from that first reading to the last, per reading of the burst\n  "
                "resident memory (VmRSS) at that first reading, once all readings are in, and "
                "the most seen every 0.25 s\n",
        readings / 2, rate);
    steady(meter, readings, rate);
    return 0;
}
