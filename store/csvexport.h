#pragma once

#include <QByteArray>
#include <QString>

class MeterRecords;

// The words a CSV file is labelled with, in the language of the export.
struct CsvHeads {
    QString measurement;
    QString device;
    QString settings;
    QString value;
    QString unit;
    QString time;
};

// One stored measurement as a CSV file: its name and meter, the meter settings it went through,
// and one line per point.
namespace Csv {

// The file's bytes for measurement k of meter i: UTF-8, every line ended by a line feed.
QByteArray text(const MeterRecords &records, int i, int k, const CsvHeads &heads);
// Puts the file in place whole, or leaves whatever had that name untouched when it cannot.
bool save(const QString &fileName, const QByteArray &text);

} // namespace Csv
