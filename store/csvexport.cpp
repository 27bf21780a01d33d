#include "store/csvexport.h"

#include "store/meterrecords.h"

#include <QSaveFile>

namespace Csv {

QByteArray text(const MeterRecords &records, int i, int k, const CsvHeads &heads)
{
    const Measurement m = records.measurement(i, k);
    const int n = m.size();

    QByteArray out;
    out.reserve(128 + n * 64);
    out += (heads.measurement + m.name + '\n').toUtf8();
    out += (heads.device + records.meter(i).device.address().toString() + "\n\n").toUtf8();
    for (int j = 0; j < n; ++j) {
        // A settings line for the first point and for every point where the settings changed.
        if (j == 0 || m.settings(j) != m.settings(j - 1))
            out += (heads.settings + m.settings(j) + ',' + m.timestamp(j) + '\n').toUtf8();
    }
    out += '\n';
    out += (heads.value + ',' + heads.unit + ',' + heads.time + '\n').toUtf8();
    for (int j = 0; j < n; ++j) {
        const QString &unit = m.unit(j);
        // A unit with "?" marks digits that formed no number; its stored value means nothing.
        if (unit.contains('?'))
            out += "0.L," + QString(unit).remove('?').toUtf8();
        else
            out += QByteArray::number(m.point(j).y(), 'g', 6) + ',' + unit.toUtf8();
        out += ',' + m.timestamp(j).toUtf8() + '\n';
    }
    return out;
}

bool save(const QString &fileName, const QByteArray &text)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() overlooks a disk that fills up part-way, so the writing is checked here; the
    // half-written copy is thrown away when the file goes without a commit.
    return file.write(text) == text.size() && file.flush() && file.commit();
}

} // namespace Csv
