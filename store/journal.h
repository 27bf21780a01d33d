#pragma once

#include "store/journalformat.h"
#include "store/store.h"

#include <QBluetoothDeviceInfo>
#include <QByteArray>
#include <QString>

#include <future>

// The write-ahead journal beside the store. Every change is appended and synced as it is made,
// every recorded point as it arrives; now and then a checkpoint writes the whole store from a
// snapshot, after which the records it covers are dropped; at start the records the store does
// not hold yet are replayed onto it.
//
// The file is a header naming the store it follows (a hash of its bytes) and then records, each
// framed by its length and a CRC. A checkpoint first writes the new store beside the old one,
// then appends a record that names the new store's hash and how far into the journal it
// reaches, then puts the store in place, and only then replaces the journal by one that follows
// the new store. Whenever a kill comes, start-up finds the store either named by the header or
// by such a record, and so knows which records it holds.
//
// Only one copy of the program writes: the instance lock makes sure of it.
class Journal
{
public:
    // Where the files of a checkpoint go, beside the store.
    struct Files {
        explicit Files(const QString &store);
        QString store, storeNext, journal, journalNext;
    };

    explicit Journal(const QString &storeFile);
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    const Files files;

    // What start-up found.
    struct Opened {
        int replayed = 0; // changes applied onto what the store held
        QString recoveredMeter; // the label of the meter an unsaved recording was kept for
        int recoveredPoints = 0;
        QString setAside; // where a journal that could not be used was put
        bool readInPart = false; // it was damaged, and the part before the damage was replayed
    };
    // Replays onto the records and options, just read from the store, what the store does not
    // hold yet; keeps a recording that was never saved as a measurement of its meter; and opens
    // the journal for appending.
    Opened open(MeterRecords &records, Options &options);

    // Each of these is in the file when it returns, and false when it could not be put there.
    // A change is synced at once; points are synced by sync().
    bool append(const Change &change);
    bool startRecording(const QBluetoothDeviceInfo &meter, const QString &label);
    bool appendPoint(const RecordedPoint &point);
    // The recording's first `count` points were saved as a measurement called `name`.
    bool saveRecording(const QString &name, int count);
    // The recording's unsaved points were discarded.
    bool dropRecording();
    bool sync();
    bool unsynced() const { return dirty; }

    bool recording() const { return active.on; }
    int recordedPoints() const { return active.points; }
    bool recordingUnsaved() const { return active.on && active.points > active.saved; }
    // Changes appended since the last checkpoint was sealed.
    int pendingChanges() const { return changesSinceSeal; }

    // A checkpoint: seal() marks what the snapshot taken with it holds and gives the start of
    // the journal that follows it (written by prepare(), on any thread); land() puts the new
    // store and journal in place once both are written; abandon() forgets a failed one.
    QByteArray seal();
    bool land(const QByteArray &storeHash);
    void abandon();
    static bool prepare(const Files &files, const QByteArray &storeHash, const QByteArray &start);

    // The hash a journal names its store by; a missing file counts as an empty one.
    static QByteArray fingerprint(const QString &file);

private:
    struct Active {
        bool on = false;
        QBluetoothDeviceInfo meter;
        QString label;
        int points = 0;
        int saved = 0;
        int number = 0; // counts the recordings of this run
        QByteArray pointRecords; // every point since the start, as in the file
        RecordedPoint last{ 0, {}, {}, {} }; // the point before, which the next is written against
    };
    struct Sealed {
        bool on = false;
        qint64 offset = 0;
        int recording = 0; // the recording under way then, by number
        int saved = 0;
        QByteArray since; // the records appended after the seal
    };

    bool write(const QByteArray &records, bool syncNow);
    bool inPlace() const;
    bool fail();
    void openFile(const QString &path);
    void closeFile();
    QByteArray recordingStart(int saved) const;
    QString setAside(const QString &why);

    struct Replayed;

    static qint64 heldBefore(const JournalFormat::Scan &found, const QByteArray &storeHash);
    static Replayed replay(const JournalFormat::Scan &found, qint64 from, MeterRecords &records,
        Options &options, int &applied);
    void startAnew(const QByteArray &storeHash);
    void goOnFrom(const JournalFormat::Scan &found, const QByteArray &bytes, bool keptAside);
    void recover(const Replayed &recording, MeterRecords &records, const Options &options,
        Opened &opened);

    // Taken while the store is read, which it does not change.
    std::future<QByteArray> storeHashing;
    int fd = -1;
    qint64 size = 0;
    bool dirty = false;
    // Once an append fails, none follows until a checkpoint writes a new journal: a record that
    // came after a lost one could be replayed onto the wrong state.
    bool broken = false;
    int changesSinceSeal = 0;
    int sealedChanges = 0;
    int recordings = 0;
    Active active;
    Sealed sealed;
};
