#pragma once

#include "store/journalformat.h"
#include "store/store.h"

#include <QBluetoothDeviceInfo>
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <future>
#include <optional>

// The write-ahead journal beside the store. Every change is appended and synced as it is made,
// every recorded point as it arrives; now and then a checkpoint writes the whole store from a
// snapshot, after which the records it covers are dropped; at start the records the store does
// not hold yet are replayed onto it. Its bytes are described in journalformat.h.
//
// A checkpoint first writes the new store beside the old one, then appends a record that names
// the new store's hash and how far into the journal it reaches, then puts the store in place,
// and only then replaces the journal by one that follows the new store and starts with the
// recordings under way. Whenever a kill comes, start-up finds the store either named by the
// header or by such a record, and so knows which records it holds.
//
// Appending and checkpoints are in journal.cpp, start-up and replay in journalreplay.cpp.
// Only one copy of the program writes: the instance lock makes sure of it.
class Journal
{
public:
    // The files of a checkpoint: the store and the journal it replaces, and the new ones
    // written beside them first. A store or journal kept as a symbolic link is the file it
    // links to, so that the link stays.
    struct Files {
        explicit Files(const QString &store);
        QString store, storeNext, journal, journalNext;
    };

    explicit Journal(const QString &storeFile);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    const Files files;

    // An unsaved recording start-up kept: the label of its meter, and how many points it had.
    struct Recovered {
        QString label;
        int points;
    };
    // What start-up found.
    struct Opened {
        int replayed = 0; // changes and saves applied onto what the store held, and recoveries
        QList<Recovered> recovered;
        QString setAside; // where a journal that could not be used was put
        bool readInPart = false; // it was damaged, and the part before the damage was replayed
    };
    // Replays onto the records and options, just read from the store, what the store does not
    // hold yet, and opens the journal for appending:
    // - none there: a new one is started;
    // - one that follows another store (the store was replaced), or whose header cannot be
    //   read: it is moved aside whole as "<journal>.unreadable-<time>" unless it holds nothing
    //   but checkpoint records, and a new one is started; one that cannot be moved is left
    //   untouched, and nothing is appended;
    // - a torn one: the torn append is cut off;
    // - a damaged one: the records before the damage are replayed, a copy of it is kept as
    //   "<journal>.damaged-<time>", and it is replaced by what could be read; when either
    //   cannot be done, nothing is appended;
    // - each recording with points that were never saved nor discarded: all of it is saved as
    //   a measurement named after its first point's time stamp, under its meter (added again if
    //   it was removed).
    // Where nothing is appended, or no new journal could be started (a full disk, say), every
    // append gives false until a checkpoint lands and starts a new one.
    Opened open(MeterRecords &records, Options &options);
    // What a start would find now: the store with all that open() would replay onto it,
    // the unsaved recordings kept as it keeps them. It only reads, so it may look while a running
    // copy writes both files. Nothing when the store or the journal is there but cannot be
    // read; `error` then names the file and why.
    static std::optional<Store::Snapshot> peek(const QString &storeFile, QString &error);

    // Each of these is in the file when it returns, and false when it could not be put there;
    // after one fails, every one gives false until a checkpoint lands. A change is synced at
    // once; points are synced by sync(). A failed one is not lost for good: the recordings'
    // counts follow every call, the next checkpoint's store holds the change, and its journal
    // starts with every point of every recording under way. Recordings are named by their
    // meters, several may be under way at once, one per meter: a meter's recording starts while
    // it has none under way, and its points and saves come between its start and its drop.
    bool append(const Change &change);
    bool startRecording(const QBluetoothDeviceInfo &meter, const QString &label);
    bool appendPoint(const QBluetoothDeviceInfo &meter, const RecordedPoint &point);
    // The recording's first `count` points were saved as a measurement called `name`.
    bool saveRecording(const QBluetoothDeviceInfo &meter, const QString &name, int count);
    // The recording's unsaved points were discarded.
    bool dropRecording(const QBluetoothDeviceInfo &meter);
    // False also when the journal was moved or removed since it was opened.
    bool sync();

    // Appends reach the file, and it holds every change the store lacks: none failed since the
    // last checkpoint landed.
    bool trusted() const { return fd >= 0 && !broken; }
    bool recording(const QBluetoothDeviceInfo &meter) const { return find(meter) >= 0; }
    // 0 when the meter has no recording under way.
    int recordedPoints(const QBluetoothDeviceInfo &meter) const;
    // Changes appended since the last checkpoint was sealed.
    int pendingChanges() const { return changesSinceSeal; }

    // A checkpoint, in four steps:
    // seal() marks what the snapshot taken with it holds, and gives the start of the journal
    // that follows it: each recording under way (its start, how many of its points were saved,
    // and every point), or nothing.
    QByteArray seal();
    // prepare() writes that journal beside the journal, under a header naming the new store, and
    // syncs it; it may run on any thread. False when it could not.
    static bool prepare(const Files &files, const QByteArray &storeHash, const QByteArray &start);
    // land() puts the new store and journal in place once both are written, the journal going
    // on with the records appended since the seal. False when the store stays as it was: the
    // record naming the new store could not be synced, or the store not be put in place; the
    // checkpoint is then abandoned. True once the store is in place, even when the new journal
    // could not follow it: the old one then goes on, its record telling the next start which
    // of its records the store holds (an old one that was broken stays so). A broken one is
    // replaced whole, and the new one stays broken while changes since the seal are missing
    // from it.
    bool land(const QByteArray &storeHash);
    // abandon() forgets a checkpoint that failed before it landed; its changes are pending
    // again.
    void abandon();

    // The hash a journal names its store by; a missing file counts as an empty one.
    static QByteArray fingerprint(const QString &file);

private:
    // A recording under way, from its start (or its recovery at start-up) to its drop.
    struct Active {
        QBluetoothDeviceInfo meter;
        QString label;
        int number; // counts the recordings of this run
        int points = 0;
        int saved = 0; // its first points saved as a measurement
        QByteArray pointRecords{}; // every point since the start, as in the file
        RecordedPoint last{ 0, {}, {}, {} }; // the point before, which the next is written against
    };
    // A checkpoint between seal() and land() or abandon(); as new while `on` is false.
    struct Sealed {
        bool on = false;
        qint64 offset = 0; // the journal's size at the seal
        QHash<int, int> saved; // of each recording under way then, by number
        QByteArray since; // the records appended after the seal
    };

    bool write(const QByteArray &records, bool syncNow);
    bool inPlace() const;
    bool fail();
    void openFile(const QString &path);
    void closeFile();
    // The place in `active` of the meter's recording, or -1.
    qsizetype find(const QBluetoothDeviceInfo &meter) const;
    Active &recordingOf(const QBluetoothDeviceInfo &meter);
    QByteArray resume(const Active &recording);
    QByteArray startOfNext() const;
    QString setAside(const QString &why);

    struct Replayed;
    struct UnderWay;

    static qint64 heldBefore(const JournalFormat::Scan &found, const QByteArray &storeHash);
    static UnderWay replay(const JournalFormat::Scan &found, qint64 from, MeterRecords &records,
        Options &options, int &applied);
    void startAnew(const QByteArray &storeHash);
    void goOnFrom(const JournalFormat::Scan &found, const QByteArray &bytes, bool keptAside);
    void recover(const UnderWay &left, MeterRecords &records, Opened &opened);

    // Taken while the store is read, which it does not change.
    std::future<QByteArray> storeHashing;

    // The journal open for appending, and its size as written through it. -1 before open(), or
    // when none could be opened; then nothing is appended.
    int fd = -1;
    qint64 size = 0;
    // Records were written since the last sync. Only with a file open.
    bool dirty = false;
    // Once an append fails, none follows until a checkpoint writes a new journal: a record that
    // came after a lost one could be replayed onto the wrong state. Set also when the file is
    // not where the next start looks for it, or open() could not set it right; only land()
    // clears it, once the new journal holds every change the new store lacks. While it is set,
    // the records since a seal may be incomplete: land() writes no record naming the new store
    // into this journal, and starts the new one from the recordings as they stand instead of
    // from the seal. It may be set with a file open (a write failed) or without (none could be
    // opened).
    bool broken = false;

    // Changes and saves appended since the last seal, and those a checkpoint under way covers,
    // pending again when it is abandoned.
    int changesSinceSeal = 0;
    int sealedChanges = 0;
    // Counts the recordings of this run, which names them in `active`, `sealed` and `current`.
    int recordings = 0;
    // In the order they started.
    QList<Active> active;
    // The recording the file's last records went to, which the next ones go on with unless a
    // Resume names another; 0 for none.
    int current = 0;
    Sealed sealed;
};
