#include "cli/command.h"
#include "cli/commandline.h"

#include <QFileDevice>

namespace CommandLine {

namespace {

// A field of a line, with the characters that would break the line or the fields escaped.
QString field(QString text)
{
    return text.replace('\\', QLatin1String("\\\\"))
        .replace('\t', QLatin1String("\\t"))
        .replace('\n', QLatin1String("\\n"))
        .replace('\r', QLatin1String("\\r"));
}

} // namespace

int list(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lists the known meters and their measurements as the window would show them if it "
        "started now, one tab-separated line per measurement: its meter's label, address and "
        "name, its name, its number of points and its first time stamp."));
    if (const std::optional<int> done = parse(parser, arguments, 0))
        return *done;
    const std::optional<Store::Snapshot> stored = readStore(arguments.constFirst());
    if (!stored)
        return StoreUnreadable;
    QString lines = QStringLiteral("label\taddress\tname\tmeasurement\tpoints\tfirst\n");
    for (const Meter &meter : stored->meters) {
        const QString identity = field(meter.label) + '\t' + meter.device.address().toString()
            + '\t' + field(meter.device.name()) + '\t';
        if (meter.measurements.isEmpty())
            lines += identity + "\t\t\n";
        for (qsizetype k = 0; k < meter.measurements.size(); ++k) {
            const Samples &samples = meter.measurements[k];
            lines += identity + field(meter.measureNames[k]) + '\t'
                + QString::number(samples.size()) + '\t' + field(samples.timestamp(0)) + '\n';
        }
    }
    const QByteArray bytes = lines.toUtf8();
    return output(arguments.constFirst(), {},
        [&](QFileDevice &out) { return out.write(bytes) == bytes.size() && out.flush(); });
}

} // namespace CommandLine
