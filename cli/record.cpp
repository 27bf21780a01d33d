#include "cli/command.h"
#include "cli/commandline.h"

#include "link/meterlink.h"
#include "link/search.h"
#include "live/framedecoder.h"
#include "live/recording.h"
#include "live/statistics.h"
#include "store/instancelock.h"
#include "store/meterrecords.h"
#include "store/storewriter.h"
#include "system/endsignals.h"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace CommandLine {

namespace {

const QString command = QStringLiteral("record");

// "2h30m", "90s", "1h": the time to record for, or -1 when the text is none of these.
qint64 parseDuration(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(?:(\\d+)h)?(?:(\\d+)m)?(?:(\\d+)s)?$"));
    const QRegularExpressionMatch match = form.match(text);
    if (text.isEmpty() || !match.hasMatch())
        return -1;
    return 1000
        * (3600 * match.captured(1).toLongLong() + 60 * match.captured(2).toLongLong()
            + match.captured(3).toLongLong());
}

// A CSV field as RFC 4180 has it: quoted when it holds a comma, a quote or a line break.
QByteArray csvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n')
        && !field.contains('\r'))
        return field;
    return '"' + field.replace('"', "\"\"") + '"';
}

// ISO 8601 in local time, to the millisecond, with the offset from UTC written out.
QString isoTime(const QDateTime &when)
{
    const int offset = when.offsetFromUtc() / 60;
    return when.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"))
        + QStringLiteral("%1%2:%3")
              .arg(QChar(offset < 0 ? u'-' : u'+'))
              .arg(std::abs(offset) / 60, 2, 10, QChar(u'0'))
              .arg(std::abs(offset) % 60, 2, 10, QChar(u'0'));
}

QByteArray jsonText(const QString &text)
{
    QByteArray out = "\"";
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += '\\' + QString(c).toUtf8();
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0')).toUtf8();
        else
            out += QString(c).toUtf8();
    }
    return out + '"';
}

} // namespace

// One meter followed without a screen: its link made, and made again when it is lost, and each
// reading recorded, with the same link, decoder and recording as the window's live screen.
class Follower : public QObject
{
public:
    enum class State { Searching, Linked, Reconnecting, GivenUp, Done };

    Follower(const QBluetoothDeviceInfo &meter, const QString &label, QObject *parent)
        : QObject(parent), label(label), link(new MeterLink(meter, this)), recording(meter)
    {
        recording.play();
        connect(link, &MeterLink::connected, link, &MeterLink::discoverServices);
        connect(link, &MeterLink::serviceDiscovered, link, &MeterLink::useService);
        connect(link, &MeterLink::serviceStateChanged, this,
            [this](QLowEnergyService::ServiceState state) {
                if (state == QLowEnergyService::RemoteServiceDiscovered)
                    link->switchOnNotifications();
            });
        connect(link, &MeterLink::characteristicChanged, this,
            [this](const QLowEnergyCharacteristic &, const QByteArray &value) { frame(value); });
        connect(link, &MeterLink::disconnected, this, &Follower::lost);
        connect(link, &MeterLink::unavailable, this, [this] {
            tell(QStringLiteral("Bluetooth is switched off or missing"));
            unavailable = true;
            finish();
        });
    }

    // Once told what to do with what it records: a link may fail at once.
    void start() { link->open(); }

    const QString label;
    MeterLink *const link;
    Recording recording;
    Statistics figures;
    Reading last;
    QDateTime lastTime;
    State state = State::Searching;
    qint64 readings = 0;
    bool keepsAll = false; // every point stays in the recording, to be saved
    bool done = false;
    bool unavailable = false;
    std::function<void(Follower &)> recorded;
    std::function<void()> finished;
    std::function<void(const QString &)> tell;

    // Records nothing more, and ends the link unless it is gone already.
    void stop()
    {
        if (done)
            return;
        done = true;
        state = link->gaveUp() ? State::GivenUp : State::Done;
        recording.play(); // paused
        if (!link->gaveUp() && !unavailable)
            link->end();
    }

    // Stops, and tells.
    void finish()
    {
        if (done)
            return;
        stop();
        finished();
    }

private:
    void frame(const QByteArray &value)
    {
        const QDateTime now = QDateTime::currentDateTime();
        std::optional<Reading> decoded = decodeFrame(value.toHex(), now);
        // Each reading is written out as it comes; only what is saved needs to stay.
        if (decoded && !keepsAll && recording.isRunning())
            recording.letGo();
        if (!decoded || !recording.take(*decoded))
            return;
        ++readings;
        last = std::move(*decoded);
        lastTime = now;
        state = State::Linked;
        const Samples &points = recording.samples();
        const qsizetype j = points.size() - 1;
        figures.add(points.points[j].y(), points.unit(j), now);
        recorded(*this);
    }

    void lost()
    {
        if (done)
            return;
        if (link->gaveUp()) {
            finish();
            return;
        }
        recording.linkLost();
        state = State::Reconnecting;
        link->reconnect();
    }
};

namespace {

// The reading at j as the window's CSV export writes it: its value, or "0.L" when its digits
// formed no number, and its unit without the "?" that marks that.
QByteArray valueText(const Samples &points, qsizetype j)
{
    return points.unit(j).contains(u'?') ? QByteArray("0.L")
                                         : QByteArray::number(points.points[j].y(), 'g', 6);
}

// Where the readings go, one line each as it arrives, synced at least once a second when it
// is a file.
class Sink
{
public:
    Sink(bool json, bool several) : json(json), several(several) { }

    bool open(const QString &path)
    {
        toFile = !path.isEmpty() && path != QLatin1String("-");
        const bool opened = toFile
            ? (file.setFileName(path),
                file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            : file.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
        return opened
            && (json
                || put(several ? "meter,number,time,value,unit,settings\n"
                               : "number,time,value,unit,settings\n"));
    }

    bool write(Follower &meter)
    {
        const Samples &points = meter.recording.samples();
        const qsizetype j = points.size() - 1;
        const bool readable = !points.unit(j).contains(u'?');
        const QByteArray value = valueText(points, j);
        const QString unit = QString(points.unit(j)).remove(u'?');
        QByteArray line;
        if (json) {
            // As the window's display shows it.
            QString display = readable
                ? meter.last.digit1 + meter.last.digit2 + meter.last.digit3 + meter.last.digit4
                : QStringLiteral("0.L");
            if (meter.last.segments[Segment::Minus])
                display.prepend(u'-');
            line = "{\"meter\":" + jsonText(meter.label)
                + ",\"address\":" + jsonText(meter.link->meter().address().toString())
                + ",\"number\":" + QByteArray::number(meter.readings) + ",\"time\":"
                + jsonText(isoTime(meter.lastTime)) + ",\"value\":" + (readable ? value : "null")
                + ",\"unit\":" + jsonText(unit) + ",\"settings\":" + jsonText(points.settings(j))
                + ",\"display\":" + jsonText(display) + "}\n";
        } else {
            if (several)
                line = csvField(meter.label) + ',';
            line += QByteArray::number(meter.readings) + ',';
            points.appendTimestamp(line, j);
            line += ',' + value + ',' + csvField(unit) + ',' + csvField(points.settings(j)) + '\n';
        }
        return put(line);
    }

    // A device or a pipe given as the file (/dev/null, a FIFO) cannot be synced, and needs not.
    bool sync()
    {
        if (!toFile || ::fdatasync(file.handle()) == 0 || errno == EINVAL)
            return true;
        syncError = qt_error_string(errno);
        return false;
    }
    QString error() const { return syncError.isEmpty() ? file.errorString() : syncError; }

private:
    bool put(const QByteArray &bytes) { return file.write(bytes) == bytes.size(); }

    const bool json;
    const bool several;
    bool toFile = false;
    QFile file;
    QString syncError;
};

// For a person at a terminal: one line per meter on stderr, kept up to date in place, with its
// state, its readings so far and the last value with its unit. Nothing when stderr is not a
// terminal.
class StatusLines
{
public:
    explicit StatusLines(const QList<Follower *> &meters)
        : meters(meters), shown(::isatty(STDERR_FILENO) == 1)
    {
        if (!shown)
            return;
        QObject::connect(&refreshing, &QTimer::timeout, [this] { draw(); });
        refreshing.start(250);
    }

    // A message goes above the lines.
    void say(const QString &message)
    {
        clear();
        CommandLine::say(command, message);
        draw();
    }

    // The lines make way for the summary for good.
    void end()
    {
        refreshing.stop();
        clear();
    }

private:
    void clear()
    {
        if (drawn > 0)
            std::fprintf(stderr, "\033[%dA\033[J", drawn);
        drawn = 0;
    }

    void draw()
    {
        if (!shown)
            return;
        static const char *const states[] = { "searching", "linked", "reconnecting", "given up",
            "done" };
        QByteArray lines;
        for (const Follower *f : meters) {
            const Samples &points = f->recording.samples();
            lines += "\r\033[K" + f->label.toUtf8() + ": " + states[int(f->state)] + " · "
                + QByteArray::number(f->readings) + (f->readings == 1 ? " reading" : " readings");
            if (points.size() > 0) {
                const qsizetype j = points.size() - 1;
                lines += " · " + valueText(points, j) + ' '
                    + unitText(QString(points.unit(j)).remove(u'?')).toUtf8();
            }
            lines += '\n';
        }
        // Over a slow link to the terminal, only what changed is sent.
        if (drawn > 0 && lines == shownLines)
            return;
        shownLines = lines;
        if (drawn > 0)
            std::fprintf(stderr, "\033[%dA", drawn);
        std::fputs(lines.constData(), stderr);
        std::fflush(stderr);
        drawn = int(meters.size());
    }

    const QList<Follower *> &meters;
    const bool shown;
    int drawn = 0;
    QByteArray shownLines;
    QTimer refreshing;
};

// What saving into the store needs: the instance lock, so that no window writes the store
// meanwhile, and the records kept as the window keeps them.
struct Saving {
    InstanceLock lock;
    MeterRecords records;
    Options options;
    StoreWriter writer{ Store::fileName(), [this] { return Store::snapshot(options, records); } };

    // Reads the store as a start of the window does, and says what the journal gave back.
    void open()
    {
        Store::Snapshot stored = Store::read(Store::fileName());
        options = stored.options;
        for (Meter &meter : stored.meters)
            records.addMeter(std::move(meter));
        const Journal::Opened opened = writer.open(records, options);
        for (const Journal::Recovered &recording : opened.recovered)
            say(command,
                QStringLiteral("the unsaved recording of \"%1\" (%2 readings) was kept as a "
                               "measurement")
                    .arg(recording.label)
                    .arg(recording.points));
        if (!opened.setAside.isEmpty())
            say(command,
                QStringLiteral("the journal could not be used and was kept as %1")
                    .arg(opened.setAside));
        if (opened.replayed > 0)
            writer.checkpoint();
    }

    // A meter the records do not know yet joins them under its advertised name, as the window
    // adds a meter it found.
    void know(const QBluetoothDeviceInfo &meter)
    {
        if (records.contains(meter))
            return;
        records.addMeter(Meter(meter, meter.name()));
        writer.keep({ Change::AddMeter, meter, meter.name(), -1, {} });
    }
};

// A meter to record: who it is, and what the output calls it.
struct Named {
    QBluetoothDeviceInfo device;
    QString label;
};

// The meters to record, by address or by a label the store knows; an address it does not know
// is searched for by the link itself. Nothing, said, when a label is not known or the store
// cannot be read.
std::optional<QList<Named>> named(const QStringList &names, int &status)
{
    const std::optional<Store::Snapshot> stored = readStore(command);
    if (!stored) {
        status = StoreUnreadable;
        return std::nullopt;
    }
    QList<Named> meters;
    for (const QString &name : names) {
        const QBluetoothAddress address(name);
        if (const Meter *known = findMeter(stored->meters, name)) {
            meters.append({ known->device, known->label });
        } else if (!address.isNull()) {
            meters.append({ QBluetoothDeviceInfo(address, QString(), 0), name });
        } else {
            say(command, QStringLiteral("no known meter is labelled \"%1\"").arg(name));
            status = Usage;
            return std::nullopt;
        }
    }
    return meters;
}

// The meters a short search finds, as the window's discovery finds them, or as soon as it has
// found every address wanted; nothing when Bluetooth is off or missing.
std::optional<QList<QBluetoothDeviceInfo>> search(const QList<QBluetoothAddress> &wanted = {})
{
    QBluetoothDeviceDiscoveryAgent agent;
    agent.setLowEnergyDiscoveryTimeout(Search::timeout);
    QList<QBluetoothDeviceInfo> found;
    bool failed = false;
    bool enough = false;
    QEventLoop searching;
    QObject::connect(&agent, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered,
        [&](const QBluetoothDeviceInfo &info) {
            const bool seen = std::any_of(found.cbegin(), found.cend(),
                [&](const QBluetoothDeviceInfo &f) { return f.address() == info.address(); });
            if (Search::isMeter(info) && !seen)
                found.append(info);
            enough = !wanted.isEmpty()
                && std::all_of(wanted.cbegin(), wanted.cend(), [&](const auto &a) {
                       return std::any_of(found.cbegin(), found.cend(),
                           [&](const QBluetoothDeviceInfo &f) { return f.address() == a; });
                   });
            if (enough)
                searching.quit();
        });
    QObject::connect(
        &agent, &QBluetoothDeviceDiscoveryAgent::finished, &searching, &QEventLoop::quit);
    QObject::connect(&agent, &QBluetoothDeviceDiscoveryAgent::errorOccurred, &searching, [&] {
        failed = true;
        searching.quit();
    });
    agent.start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
    // Meters BlueZ knows already are reported inside start().
    if (agent.isActive() && !enough)
        searching.exec();
    else if (!enough)
        failed = true;
    if (failed)
        say(command, QStringLiteral("Bluetooth is switched off or missing"));
    return failed ? std::nullopt : std::optional(found);
}

// The one meter a search finds, under its label when the store knows it.
std::optional<QList<Named>> found(int &status)
{
    status = NoMeter;
    const std::optional<QList<QBluetoothDeviceInfo>> meters = search();
    if (!meters)
        return std::nullopt;
    if (meters->size() != 1) {
        QStringList addresses;
        for (const QBluetoothDeviceInfo &meter : *meters)
            addresses.append(meter.address().toString());
        say(command,
            meters->isEmpty() ? QStringLiteral("no meter found")
                              : QStringLiteral("%1 meters found, name one with --meter: %2")
                                    .arg(meters->size())
                                    .arg(addresses.join(QStringLiteral(", "))));
        return std::nullopt;
    }
    status = Done;
    const QBluetoothDeviceInfo &meter = meters->constFirst();
    auto one = named({ meter.address().toString() }, status);
    if (one && one->constFirst().device.name().isEmpty())
        one->first().device = QBluetoothDeviceInfo(meter.address(), meter.name(), 0);
    return one;
}

// A meter saved into the store needs its advertised name, which is part of who it is: one the
// store does not know is searched for.
bool identify(QList<Named> &meters, int &status)
{
    QList<QBluetoothAddress> unknown;
    for (const Named &meter : std::as_const(meters)) {
        if (meter.device.name().isEmpty())
            unknown.append(meter.device.address());
    }
    std::optional<QList<QBluetoothDeviceInfo>> seen;
    for (Named &meter : meters) {
        if (!meter.device.name().isEmpty())
            continue;
        if (!seen && !(seen = search(unknown))) {
            status = NoMeter;
            return false;
        }
        const auto it = std::find_if(seen->cbegin(), seen->cend(),
            [&](const QBluetoothDeviceInfo &info) {
                return info.address() == meter.device.address();
            });
        if (it == seen->cend()) {
            say(command, "no meter found at " + meter.device.address().toString());
            status = NoMeter;
            return false;
        }
        meter.device = QBluetoothDeviceInfo(it->address(), it->name(), 0);
    }
    return true;
}

} // namespace

int record(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Records the readings of one or more meters, one line per reading as it arrives."));
    const QCommandLineOption meterOption(QStringLiteral("meter"),
        QStringLiteral("A meter to record, by its address or its label; may be repeated. "
                       "Without it, the one meter a search finds."),
        QStringLiteral("ADDRESS|LABEL"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
        QStringLiteral("Where the readings go (default -, the standard output)."),
        QStringLiteral("FILE"), QStringLiteral("-"));
    const QCommandLineOption formatOption(QStringLiteral("format"),
        QStringLiteral("csv (default) or jsonl."), QStringLiteral("FORMAT"), QStringLiteral("csv"));
    const QCommandLineOption durationOption(QStringLiteral("duration"),
        QStringLiteral("Stop after this time, as 2h30m, 45m or 90s."), QStringLiteral("TIME"));
    const QCommandLineOption samplesOption(QStringLiteral("samples"),
        QStringLiteral("Stop once each meter has given N readings."), QStringLiteral("N"));
    const QCommandLineOption saveOption(QStringLiteral("save"),
        QStringLiteral("At the end, save each meter's readings into the store as a measurement "
                       "called NAME, which the window then shows. Needs the window closed."),
        QStringLiteral("NAME"));
    const QCommandLineOption giveUpOption(QStringLiteral("give-up-after"),
        QStringLiteral("Give a lost meter up when its link has not come back in this time "
                       "(default 2m)."),
        QStringLiteral("TIME"), QStringLiteral("2m"));
    const QCommandLineOption keepTryingOption(QStringLiteral("keep-trying"),
        QStringLiteral("Make a lost link again for as long as it takes."));
    parser.addOptions({ meterOption, outputOption, formatOption, durationOption, samplesOption,
        saveOption, giveUpOption, keepTryingOption });
    if (const std::optional<int> status = parse(parser, arguments, 0))
        return *status;
    const QString format = parser.value(formatOption);
    const qint64 duration
        = parser.isSet(durationOption) ? parseDuration(parser.value(durationOption)) : 0;
    const qint64 giveUpAfter = parseDuration(parser.value(giveUpOption));
    bool counted = true;
    const int samples
        = parser.isSet(samplesOption) ? parser.value(samplesOption).toInt(&counted) : 0;
    const QString name = parser.value(saveOption).trimmed();
    if ((format != QLatin1String("csv") && format != QLatin1String("jsonl")) || duration < 0
        || giveUpAfter <= 0 || !counted || samples < 0
        || (parser.isSet(saveOption) && name.isEmpty())) {
        say(command,
            QStringLiteral("wrong --format, --duration, --give-up-after, --samples or --save; "
                           "see \"kalvion record --help\""));
        return Usage;
    }
    Reconnect::window = parser.isSet(keepTryingOption)
        ? std::numeric_limits<int>::max()
        : int(std::min<qint64>(giveUpAfter, std::numeric_limits<int>::max()));
    // Qt's own notes on Bluetooth are for its developers, not for a person at a terminal.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.bluetooth*=false"));

    std::unique_ptr<Saving> saving;
    if (!name.isEmpty()) {
        saving = std::make_unique<Saving>();
        if (!saving->lock.take()) {
            say(command,
                QStringLiteral("the store is in use by the window or another record --save; "
                               "close it to save into the store, or record without --save"));
            return StoreUnreadable;
        }
    }
    int status = Done;
    auto meters
        = parser.isSet(meterOption) ? named(parser.values(meterOption), status) : found(status);
    if (!meters || (saving && !identify(*meters, status)))
        return status;
    if (saving) {
        saving->open();
        for (const Named &meter : std::as_const(*meters))
            saving->know(meter.device);
    }

    Sink sink(format == QLatin1String("jsonl"), meters->size() > 1);
    if (!sink.open(parser.value(outputOption))) {
        say(command,
            QStringLiteral("cannot write %1: %2").arg(parser.value(outputOption), sink.error()));
        return OutputFailed;
    }
    QList<Follower *> followers;
    StatusLines statusLines(followers);
    const auto end = [&](int why) {
        status = std::max(status, why);
        QCoreApplication::exit(status);
    };
    for (const auto &[device, label] : std::as_const(*meters)) {
        auto *follower = new Follower(device, label, qApp);
        if (saving) {
            follower->recording.keepIn(
                saving->records, saving->writer, saving->options.language);
            follower->keepsAll = true;
        }
        follower->recorded = [&, samples](Follower &f) {
            if (!sink.write(f)) {
                statusLines.say("cannot write the readings: " + sink.error());
                end(OutputFailed);
            } else if (samples > 0 && f.readings >= samples) {
                f.finish();
            }
        };
        follower->finished = [&] {
            if (std::all_of(
                    followers.cbegin(), followers.cend(), [](Follower *f) { return f->done; }))
                end(Done);
        };
        follower->tell = [&](const QString &message) { statusLines.say(message); };
        followers.append(follower);
    }
    // Inside the event loop, which a link that fails at once ends.
    for (Follower *follower : std::as_const(followers))
        QTimer::singleShot(0, follower, &Follower::start);

    QTimer syncing;
    QObject::connect(&syncing, &QTimer::timeout, [&] {
        if (!sink.sync()) {
            statusLines.say("cannot write the readings: " + sink.error());
            end(OutputFailed);
        }
    });
    syncing.start(500);
    if (duration > 0)
        QTimer::singleShot(duration, [&] { end(Done); });
    EndSignals ending;
    QObject::connect(&ending, &EndSignals::caught, [&] { end(Done); });

    QCoreApplication::exec();
    sink.sync();
    statusLines.end();
    for (Follower *f : std::as_const(followers))
        f->stop();
    if (saving) {
        // Saved as the window saves: into the records and the journal, which the next start
        // replays should the store not be written whole before.
        for (Follower *f : std::as_const(followers))
            f->recording.save(name);
        saving->writer.settle();
        if (!saving->writer.journal().trusted()) {
            say(command,
                QStringLiteral("cannot write %1: the readings may not all be kept there")
                    .arg(Store::fileName()));
            status = std::max<int>(status, StoreUnreadable);
        }
        // A checkpoint under way is finished before the lock is given back.
        saving.reset();
    }
    // Qt's Bluetooth back end may still be setting up its connection to the system bus when a
    // link fails at once; a moment more lets it finish, rather than leave it half made at exit.
    QTimer::singleShot(100, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    for (Follower *f : std::as_const(followers)) {
        if (f->unavailable)
            status = std::max<int>(status, NoMeter);
        else if (f->link->gaveUp())
            status = std::max<int>(status, GivenUp);
        say(command,
            f->label + ": "
                + (f->figures.isEmpty() ? QStringLiteral("no readings") : f->figures.summary())
                + (f->link->gaveUp() ? QStringLiteral(" (given up)") : QString()));
    }
    return status;
}

} // namespace CommandLine
