#pragma once

#include <QString>

class Measurement;
class QFileDevice;

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

// The heads in the stored language (Options::language: 1 English, otherwise German).
CsvHeads heads(int language);

// Writes the file for the measurement of the meter with this address: UTF-8, every line ended
// by a line feed. It is written a piece at a time, so that even a measurement of days takes
// little memory, and put in place whole; when that cannot be done, whatever had that name is
// left untouched.
bool save(const QString &fileName, const Measurement &measurement, const QString &address,
    const CsvHeads &heads);
// The same bytes, into a file open for writing, flushed; false when not all of them got there.
bool write(QFileDevice &file, const Measurement &measurement, const QString &address,
    const CsvHeads &heads);

} // namespace Csv
