#include "store/csvexport.h"

#include "store/meterrecords.h"

#include <QSaveFile>

namespace Csv {

namespace {

constexpr qsizetype pieceSize = 1 << 20;

} // namespace

CsvHeads heads(int language)
{
    if (language == 1)
        return { "Measurement", "Device:", "Settings:", "Data", "Unit", "Time" };
    return { "Messung", "Gerät:", "Einstellungen:", "Messwert", "Einheit", "Zeit" };
}

bool save(
    const QString &fileName, const Measurement &m, const QString &address, const CsvHeads &heads)
{
    // The half-written copy is thrown away when the file goes without a commit.
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && write(file, m, address, heads) && file.commit();
}

bool write(QFileDevice &file, const Measurement &m, const QString &address, const CsvHeads &heads)
{
    QByteArray out;
    out.reserve(pieceSize + 4096);
    // QSaveFile::commit() overlooks a disk that fills up part-way, so each piece is checked.
    bool written = true;
    const auto piece = [&](bool last) {
        if (last || out.size() >= pieceSize) {
            written = written && file.write(out) == out.size();
            out.resize(0);
        }
        return written;
    };

    const int n = m.size();
    out += (heads.measurement + m.name + '\n').toUtf8();
    out += (heads.device + address + "\n\n").toUtf8();
    for (int j = 0; j < n; ++j) {
        // A settings line for the first point and for every point where the settings changed.
        if (j == 0 || m.settings(j) != m.settings(j - 1)) {
            out += (heads.settings + m.settings(j) + ',').toUtf8();
            m.samples.appendTimestamp(out, j);
            out += '\n';
        }
        if (!piece(false))
            return false;
    }
    out += '\n';
    out += (heads.value + ',' + heads.unit + ',' + heads.time + '\n').toUtf8();
    // Each unit's text once: a unit with "?" marks digits that formed no number, whose stored
    // value means nothing.
    QList<QByteArray> units;
    for (const QString &unit : m.samples.units)
        units.append(QString(unit).remove('?').toUtf8());
    for (int j = 0; j < n; ++j) {
        const quint32 unit = m.samples.unitOf[j];
        if (m.samples.units[unit].contains('?'))
            out += "0.L";
        else
            out += QByteArray::number(m.point(j).y(), 'g', 6);
        out += ',' + units[unit] + ',';
        m.samples.appendTimestamp(out, j);
        out += '\n';
        if (!piece(false))
            return false;
    }
    return piece(true) && file.flush();
}

} // namespace Csv
