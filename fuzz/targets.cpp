#include "fuzz/targets.h"

#include "store/meterrecords.h"
#include "store/store.h"
#include "live/framedecoder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>

#include <cmath>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

bool onlyWords(const QString &text, const QStringList &words)
{
    const QStringList parts = text.split(' ', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        if (!words.contains(part))
            return false;
    }
    return text.isEmpty() || text.endsWith(' ');
}

} // namespace

void fuzzDecoder(const uint8_t *data, size_t size)
{
    static const QDateTime now(QDate(2026, 12, 6), QTime(14, 7, 9, 42));
    // Raw data, not a copy: a read past the payload must hit the sanitizer, not a terminator.
    const QByteArray hex = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                   qsizetype(size));
    const std::optional<Reading> reading = decodeFrame(hex, now);
    if (!reading)
        return;
    require(reading->value == Reading::unreadable || std::isfinite(reading->value));
    require(onlyWords(reading->unit, {"mü", "n", "k", "m", "M", "%", "F", "Ohm", "°C", "°F",
                                      "H", "A", "V", "Hz"}));
    require(onlyWords(reading->settings, {"AC", "DC", "AUTO", "USB", "Diode", "Sound", "REL",
                                          "Battery", "APO", "MIN", "MAX", "NCV"}));
    require(reading->timestamp == "2026-12-06 14:07:09.042042");
    for (quint8 bit : reading->segments)
        require(bit <= 1);
}

void fuzzStore(const uint8_t *data, size_t size)
{
    // A new file each time: the settings class caches files by name and modification time.
    static int run = 0;
    const QString path = QDir::temp().filePath(
            QString("kalvion-fuzz-%1-%2.conf").arg(QCoreApplication::applicationPid()).arg(run++));
    {
        QFile file(path);
        require(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QListWidget rows;
    MeterRecords records(&rows);
    Options options;
    {
        QSettings settings(path, QSettings::IniFormat);
        Store::read(settings, options, records);
    }
    QFile::remove(path);

    require(options.language == 0 || options.language == 1);
    require(rows.count() == records.count());
    for (int i = 0; i < records.count(); ++i) {
        const Meter &m = records.meter(i);
        qsizetype sum = 0;
        for (int n : m.pointsNumber) {
            require(n > 0);
            sum += n;
        }
        require(m.points.size() == sum && m.timestamps.size() == sum && m.units.size() == sum
                && m.settingTexts.size() == sum);
        require(m.measureNames.size() == m.pointsNumber.size()
                && qsizetype(m.savedSeries.size()) == m.pointsNumber.size());
    }
}
