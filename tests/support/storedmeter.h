#pragma once

#include <QPointF>
#include <QStringList>

// Stores as earlier runs of the program left them, written key by key, so a test notices when
// the program reads or writes a key under another name.

struct StoredSeries {
    QString name;
    QList<QPointF> points;
    QStringList timestamps, units, settings;
};

struct StoredMeter {
    QString label = QStringLiteral("Werkbank");
    QString address = QStringLiteral("C8:27:53:0C:00:01");
    QString name = QStringLiteral("M27K53C");
    QList<StoredSeries> measurements;
};

struct StoredOptions {
    bool dark = false, tovik = false;
    int language = 0;
};

// A series of n points (x from 1, y = first + j) in one unit and setting, every point stamped
// with the same time, which also names it.
StoredSeries storedSeries(int n, double first = 0, const QString &unit = QStringLiteral("V "),
    const QString &settings = QStringLiteral("DC AUTO "));

// Replaces this test process's store with these options and meters, with no journal beside it.
void writeStore(const QList<StoredMeter> &meters, const StoredOptions &options = {});
// Writes them as a new file through QSettings. QSettings keeps what it read of a file by its
// name, so each file a test writes and reads through it needs a name of its own.
void writeStoreFile(const QString &path, const QList<StoredMeter> &meters,
    const StoredOptions &options = {});
