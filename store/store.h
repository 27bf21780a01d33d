#pragma once

#include "store/meterrecords.h"

#include <QList>
#include <QSettings>
#include <QString>

// The three options kept between runs.
struct Options {
    bool darkMode = false;
    bool tovik = false;
    int language = 0;
};

// The per-user store, under the names every earlier run used.
class UserStore : public QSettings
{
public:
    UserStore() : QSettings(QStringLiteral("Orvu"), QStringLiteral("Kalvion")) { }
};

// The per-user store: the options and every meter with all its measurements, in the layout
// that earlier runs wrote. A store is outside data: reading it never trusts a size or count.
namespace Store {

// Everything a write puts in the store, copied from the records. The lists share their data
// with the records until either side changes, so taking a copy is cheap and a worker thread
// may write it while the window goes on.
struct MeterCopy : MeasurementLists {
    QString name;
    QString address;
    QString label;
};
struct Snapshot {
    Options options;
    QList<MeterCopy> meters;
};
bool operator==(const Snapshot &a, const Snapshot &b);

Snapshot snapshot(const Options &options, const MeterRecords &records);
void write(QSettings &settings, const Snapshot &snapshot);
void write(QSettings &settings, const Options &options, const MeterRecords &records);
// Reads the options, then appends every stored meter to the (empty) records.
void read(QSettings &settings, Options &options, MeterRecords &records);

} // namespace Store
