#include "fuzz/targets.h"

#include "live/framedecoder.h"
#include "store/journal.h"
#include "store/journalformat.h"
#include "store/meterrecords.h"
#include "store/store.h"
#include "store/storefile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
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

void requireConsistent(const Store::Snapshot &read)
{
    require(read.options.language == 0 || read.options.language == 1);
    for (const Meter &m : read.meters) {
        require(m.measureNames.size() == m.pointsNumber.size()
            && m.measurements.size() == m.pointsNumber.size());
        for (qsizetype k = 0; k < m.measurements.size(); ++k) {
            const Samples &s = m.measurements[k];
            const qsizetype n = s.size();
            require(n > 0 && n == m.pointsNumber[k] && s.times.size() == n && s.unitOf.size() == n
                && s.settingsOf.size() == n);
            for (qsizetype j = 0; j < n; ++j) {
                require(s.unitOf[j] < quint32(s.units.size())
                    && s.settingsOf[j] < quint32(s.settingTexts.size())
                    && -1 - s.times[j] < s.oddTimes.size());
            }
        }
    }
}

// What a store's records come to after its journal, as a start leaves them.
Store::Snapshot started(const QString &store, Journal::Opened &opened)
{
    Store::Snapshot read = Store::read(store);
    MeterRecords records;
    for (const Meter &m : std::as_const(read.meters))
        records.addMeter(m);
    Journal journal(store);
    opened = journal.open(records, read.options);
    return Store::snapshot(read.options, records);
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
    // Whatever the bytes, the one pass gives what QSettings gives, or leaves the file to it.
    const Store::Snapshot read = Store::readSettings(path);
    const std::optional<Store::Snapshot> passed = StoreFile::read(path);
    QFile::remove(path);
    requireConsistent(read);
    require(!passed || *passed == read);
}

void fuzzJournal(const uint8_t *data, size_t size)
{
    QTemporaryDir folder;
    const QString store = folder.filePath("Kalvion.conf");
    {
        MeterRecords base;
        base.addMeter(
            Meter(QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:01"), "M27K53C", 0),
                "Werkbank"));
        const QString time = "2026-12-06 14:07:09.042042";
        for (int n : { 3, 2 }) {
            QList<QPointF> points;
            for (int j = 1; j <= n; ++j)
                points.append(QPointF(j, j * 1.5));
            base.addMeasurement(0, n == 3 ? "a" : "b", points, QStringList(n, time),
                QStringList(n, "V "), QStringList(n, "DC "));
        }
        require(!StoreFile::save(store, Store::snapshot(Options{}, base)).isEmpty());
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
    Store::Snapshot first;
    for (int start = 0; start < 2; ++start) {
        Journal::Opened opened;
        const Store::Snapshot read = started(store, opened);
        requireConsistent(read);
        if (start == 0 && !opened.setAside.isEmpty() && !opened.readInPart)
            return; // set aside whole: the next start begins anew
        if (start == 0)
            first = read;
        else
            require(read == first);
    }
}
