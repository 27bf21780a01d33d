#pragma once

#include "store/meterrecords.h"

#include <QList>
#include <QSettings>
#include <QString>

#include <functional>

// The three options kept between runs.
struct Options {
    bool darkMode = false;
    bool tovik = false;
    int language = 0;
};

// QSettings on the per-user store, under the names every earlier run used; the program itself
// reads and writes the file through Store, and this looks into it from the outside.
class UserStore : public QSettings
{
public:
    UserStore() : QSettings(QStringLiteral("Orvu"), QStringLiteral("Kalvion")) { }
};

// The per-user store: the options and every meter with all its measurements, in the layout
// that earlier runs wrote through QSettings. A store is outside data: reading it never trusts a
// size or count.
namespace Store {

// Where the store is, as QSettings finds it; asking QSettings would read the whole file.
QString fileName();

// Everything the store holds at one moment: what a write puts in, what a read gives. The
// meters share their data with the records, so taking a copy is cheap and a worker thread may
// write it while the window goes on.
struct Snapshot {
    Options options;
    QList<Meter> meters;
};
bool operator==(const Snapshot &a, const Snapshot &b);

Snapshot snapshot(const Options &options, const MeterRecords &records);

// Reads the file in one pass over its bytes, or through QSettings where that pass does not
// read it exactly as QSettings does. A missing file holds no meters and the default options.
Snapshot read(const QString &fileName);
// Reads the file through QSettings, key by key.
Snapshot readSettings(const QString &fileName);

// A meter as the store lays it out: its measurements' points one after another, and their
// counts and names, which need not fit the points in a store written elsewhere. Each
// measurement keeps the points that exist for it, in order, as cut(from, n) gives them, asked
// in order; one left without points is dropped, and points past the last measurement are
// dropped.
Meter meterOf(const QBluetoothDeviceInfo &device, const QString &label, qsizetype points,
    const QList<int> &counts, const QStringList &names,
    const std::function<Samples(qsizetype from, qsizetype n)> &cut);

// The reading of the three options, shared by both ways of reading.
bool toBool(const QVariant &v);
int toInt(const QVariant &v);

} // namespace Store
