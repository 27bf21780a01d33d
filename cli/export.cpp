#include "cli/command.h"
#include "cli/commandline.h"

#include "store/csvexport.h"

#include <algorithm>

namespace CommandLine {

namespace {

QString quoted(const QString &text)
{
    return '"' + text + '"';
}

// The meter a person names by its label or its address, the first one in the order of the
// list; nullptr, said, when there is none.
const Meter *meterNamed(const QList<Meter> &meters, const QString &name, const QString &command)
{
    if (const Meter *meter = findMeter(meters, name))
        return meter;
    QStringList known;
    for (const Meter &m : meters)
        known.append(quoted(m.label) + " (" + m.device.address().toString() + ')');
    say(command,
        "no meter " + quoted(name)
            + (known.isEmpty() ? QStringLiteral("; there are no meters")
                               : "; the meters are: " + known.join(QLatin1String(", "))));
    return nullptr;
}

// The measurement a person names by its name, the first one of that name, or else by its
// number from 1; -1, said, when there is none.
int measurementNamed(const Meter &meter, const QString &name, const QString &command)
{
    qsizetype k = meter.measureNames.indexOf(name);
    bool number = false;
    const int n = name.toInt(&number);
    if (k < 0 && number && n >= 1 && n <= meter.measureNames.size())
        k = n - 1;
    if (k >= 0)
        return int(k);
    QStringList known;
    for (const QString &m : meter.measureNames)
        known.append(quoted(m));
    say(command,
        "meter " + quoted(meter.label) + " has no measurement " + quoted(name)
            + (known.isEmpty() ? QStringLiteral("; it has none")
                               : "; its measurements are: " + known.join(QLatin1String(", "))));
    return -1;
}

} // namespace

int exportMeasurement(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes a measurement as a CSV file, with the same bytes as the window's export, in the "
        "stored language."));
    const QCommandLineOption output({ QStringLiteral("o"), QStringLiteral("output") },
        QStringLiteral("Writes to <file> instead of the standard output (\"-\")."),
        QStringLiteral("file"));
    parser.addOption(output);
    parser.addPositionalArgument(QStringLiteral("meter"),
        QStringLiteral("The meter's label, or its address in any case."),
        QStringLiteral("<meter>"));
    parser.addPositionalArgument(QStringLiteral("measurement"),
        QStringLiteral("The measurement's name, or its number from 1 when none has that name."),
        QStringLiteral("<measurement>"));
    if (const std::optional<int> done = parse(parser, arguments, 2))
        return *done;
    const QString &command = arguments.constFirst();
    const std::optional<Store::Snapshot> stored = readStore(command);
    if (!stored)
        return StoreUnreadable;
    const QStringList names = parser.positionalArguments();
    const Meter *meter = meterNamed(stored->meters, names[0], command);
    const int k = meter ? measurementNamed(*meter, names[1], command) : -1;
    if (k < 0)
        return Usage;
    const Measurement measurement{ meter->measureNames[k], meter->measurements[k] };
    return CommandLine::output(command, parser.value(output), [&](QFileDevice &out) {
        return Csv::write(out, measurement, meter->device.address().toString(),
            Csv::heads(stored->options.language));
    });
}

} // namespace CommandLine
