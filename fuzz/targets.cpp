#include "fuzz/targets.h"

#include "store/journal.h"
#include "store/journalformat.h"
#include "store/meterrecords.h"
#include "store/store.h"
#include "live/framedecoder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>

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

void requireConsistent(const QListWidget &rows, const MeterRecords &records, const Options &options)
{
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

// What the records of a store with its journal come to, as the rows and records show them.
QStringList state(const QListWidget &rows, const MeterRecords &records, const Options &options)
{
    QStringList s = { QString("%1 %2 %3").arg(options.darkMode).arg(options.tovik).arg(options.language) };
    for (int i = 0; i < records.count(); ++i) {
        const Meter &m = records.meter(i);
        s.append(rows.item(i)->text() + "|" + m.device.address().toString() + "|" + m.device.name());
        s += m.measureNames;
        for (int j = 0; j < m.points.size(); ++j)
            s.append(QString("%1 %2 %3|%4|%5").arg(m.points[j].x()).arg(m.points[j].y())
                         .arg(m.timestamps[j], m.units[j], m.settingTexts[j]));
    }
    return s;
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
    requireConsistent(rows, records, options);
}

void fuzzJournal(const uint8_t *data, size_t size)
{
    QTemporaryDir folder;
    const QString store = folder.filePath("Kalvion.conf");
    {
        QListWidget rows;
        MeterRecords base(&rows);
        base.addMeter(Meter(QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:01"), "M27K53C", 0)),
            "Werkbank", false);
        const QString time = "2026-12-06 14:07:09.042042";
        for (int n : { 3, 2 }) {
            QList<QPointF> points;
            for (int j = 1; j <= n; ++j)
                points.append(QPointF(j, j * 1.5));
            base.addMeasurement(0, n == 3 ? "a" : "b", points, QStringList(n, time),
                QStringList(n, "V "), QStringList(n, "DC "));
        }
        QSettings s(store, QSettings::IniFormat);
        Store::write(s, Options{}, base);
    }
    // Each record: a length byte and that many bytes, framed; what is left, as it is.
    QByteArray journal = JournalFormat::header(Journal::fingerprint(store));
    const char *p = reinterpret_cast<const char *>(data);
    const char *end = p + size;
    while (p < end && end - p > uchar(*p)) {
        const QByteArray payload(p + 1, uchar(*p));
        p += 1 + payload.size();
        if (!payload.isEmpty())
            journal += JournalFormat::frame(payload);
    }
    journal += QByteArray(p, end - p);
    QFile file(Journal::Files(store).journal);
    require(file.open(QIODevice::WriteOnly));
    file.write(journal);
    file.close();

    // Replayed, the records hold together; replayed again, with what the first start added,
    // they are the same.
    QStringList first;
    for (int start = 0; start < 2; ++start) {
        QListWidget rows;
        MeterRecords records(&rows);
        Options options;
        {
            QSettings s(store, QSettings::IniFormat);
            Store::read(s, options, records);
        }
        Journal replayed(store);
        const Journal::Opened opened = replayed.open(records, options);
        requireConsistent(rows, records, options);
        if (start == 0 && !opened.setAside.isEmpty() && !opened.readInPart)
            return; // set aside whole: the next start begins anew
        if (start == 0)
            first = state(rows, records, options);
        else
            require(state(rows, records, options) == first);
    }
}
