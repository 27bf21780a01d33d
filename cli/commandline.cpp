#include "cli/commandline.h"

#include "cli/command.h"
#include "store/journal.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace CommandLine {

namespace {

struct Command {
    const char *name;
    const char *summary;
    int (*run)(const QStringList &arguments);
};

const Command commands[] = {
    { "record", "the readings of one or more meters, as they arrive", record },
    { "list", "the known meters and their measurements, tab-separated", list },
    { "export", "one measurement as a CSV file", exportMeasurement },
};

} // namespace

bool wanted(int argc, char *argv[])
{
    if (argc < 2)
        return false;
    const QByteArray first = argv[1];
    return !first.startsWith('-') || first.startsWith("--") || first == "-h" || first == "-?"
        || first == "-v";
}

int run(int argc, char *argv[])
{
    // The help names the program as a person types it, not by the path it was found under.
    char name[] = "kalvion";
    argv[0] = name;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kalvion"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KALVION_VERSION));
    // A reader that went away is an output that failed, not a reason to die of a signal.
    std::signal(SIGPIPE, SIG_IGN);

    QString description = QStringLiteral(
        "Companion for the M27K53C Bluetooth multimeter. Without a command, it opens the "
        "window.\n\nCommands:");
    for (const Command &command : commands)
        description += QStringLiteral("\n  %1  %2").arg(command.name, -6).arg(command.summary);
    description += QStringLiteral("\n\nSee \"kalvion COMMAND --help\" for a command's options.");
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("record, list or export."));
    // What follows the command is the command's.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.process(app);
    const QStringList arguments = parser.positionalArguments();
    for (const Command &command : commands) {
        if (arguments.value(0) == QLatin1String(command.name))
            return command.run(arguments);
    }
    say({}, QStringLiteral("no command \"%1\"; see \"kalvion --help\"").arg(arguments.value(0)));
    return Usage;
}

void say(const QString &command, const QString &message)
{
    const QString who = command.isEmpty() ? QStringLiteral("kalvion") : "kalvion " + command;
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(who), qUtf8Printable(message));
}

std::optional<int> parse(
    QCommandLineParser &parser, const QStringList &arguments, qsizetype positionals)
{
    const QString &command = arguments.constFirst();
    const QCommandLineOption help = parser.addHelpOption();
    if (!parser.parse(arguments)) {
        say(command, parser.errorText());
        return Usage;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // The usage line names the command as a person types it: "kalvion record [options]".
        const QString text = parser.helpText().replace(
            QRegularExpression(QStringLiteral("^Usage: kalvion")), "Usage: kalvion " + command);
        std::fputs(qUtf8Printable(text), stdout);
        return Done;
    }
    if (parser.positionalArguments().size() == positionals)
        return std::nullopt;
    say(command,
        QStringLiteral("wrong number of arguments; see \"kalvion %1 --help\"").arg(command));
    return Usage;
}

std::optional<Store::Snapshot> readStore(const QString &command)
{
    QString error;
    std::optional<Store::Snapshot> stored = Journal::peek(Store::fileName(), error);
    if (!stored)
        say(command, "cannot read " + error);
    return stored;
}

const Meter *findMeter(const QList<Meter> &meters, const QString &name)
{
    const auto meter = std::find_if(meters.cbegin(), meters.cend(), [&](const Meter &m) {
        return m.label == name
            || m.device.address().toString().compare(name, Qt::CaseInsensitive) == 0;
    });
    return meter != meters.cend() ? &*meter : nullptr;
}

int output(
    const QString &command, const QString &path, const std::function<bool(QFileDevice &)> &write)
{
    const bool toStdout = path.isEmpty() || path == QLatin1String("-");
    bool written;
    QString error;
    if (toStdout) {
        QFile out;
        written = out.open(STDOUT_FILENO, QIODevice::WriteOnly) && write(out);
        error = out.errorString();
    } else if (QFileInfo(path).exists() && !QFileInfo(path).isFile()) {
        // A device or a pipe (/dev/stdout, a shell's >(...)) is written as it is: nothing can
        // be put in its place.
        QFile out(path);
        written = out.open(QIODevice::WriteOnly) && write(out);
        error = out.errorString();
    } else {
        // A file is put in place whole, or left as it was.
        QSaveFile out(path);
        written = out.open(QIODevice::WriteOnly) && write(out) && out.commit();
        error = out.errorString();
    }
    if (!written) {
        say(command,
            QStringLiteral("cannot write %1: %2")
                .arg(toStdout ? QStringLiteral("the standard output") : path, error));
        return OutputFailed;
    }
    return Done;
}

} // namespace CommandLine
