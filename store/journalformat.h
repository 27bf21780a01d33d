#pragma once

#include "store/store.h"

#include <QBluetoothDeviceInfo>
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// The bytes of the journal beside the store (Kalvion.journal), and how they are read back.
//
// THE HEADER, 36 bytes at the start of the file:
//
//     offset  size  field
//          0     8  magic "KVJOURNL"
//          8     4  version, 1
//         12    20  the store it follows: SHA-1 of the store file's bytes (Journal::fingerprint)
//         32     4  CRC-32 of bytes 0 to 31
//
// THE FRAME of each record that follows, one after another up to the end of the file:
//
//          0     4  length of the payload, 1 to 64 MiB
//          4     4  CRC-32 of the payload
//          8     n  the payload: one byte of type, then the fields
//
// Numbers are little-endian. CRC-32 is zlib's (reflected polynomial 0xEDB88320, starting from
// and ending with all bits flipped). The fields of a record:
//
//     u8, u32, u64   unsigned integers of 1, 4 and 8 bytes
//     f64            an IEEE 754 double, its bits as a u64
//     text           its length in bytes as a varint (7 bits a byte, lowest first, the top
//                    bit set on every byte but the last), then that many bytes of UTF-8
//     meter          text address ("C8:27:53:0C:00:01"), then text advertised name
//
// THE RECORDS, one row per type:
//
//     type  name               fields, in order
//        1  SetOptions         u8 dark mode, u8 start animation, u8 language (1 English,
//                              anything else German)
//        2  AddMeter           meter, text label
//        3  RelabelMeter       meter, text new label
//        4  RemoveMeter        meter
//        5  RenameMeasurement  meter, u32 measurement (its place under the meter), text name
//        6  RemoveMeasurement  meter, u32 measurement
//       16  RecordingStart     meter, text label, u32 saved: its first points that were
//                              saved as a measurement before (0 when it begins)
//       17  Point              f64 y, u8 shared, text rest of the time stamp, u8 same,
//                              [text unit], [text settings]
//       18  SaveRecording      text name, u32 count: the recording's first count points
//       19  DropRecording      none: the recording's unsaved points are discarded
//       20  Checkpoint         u64 offset, 20 bytes store hash: the store with that hash
//                              holds every record whose frame starts before that offset
//       21  Resume             meter: the records that follow go on with its recording
//
// Types 1 to 6 are the changes, numbered as Change::Kind. A record of a type not listed here is
// skipped, and so are any bytes after the fields its type has.
//
// RECORDINGS: one may be under way for each meter, several at once. A RecordingStart starts
// one for its meter and makes it the current one; one under way for the same meter ends, its
// unsaved points discarded, while those of other meters go on. Points, saves and drops belong
// to the current recording, until the next RecordingStart or Resume. A Resume makes the
// recording under way for its meter the current one, or none when that meter has none. A
// DropRecording ends the current recording and leaves none current; a point, save or drop
// while none is current is skipped. A Resume is written only before a record whose recording
// is not the current one, so that one meter recorded alone needs none.
//
// A POINT is written against the point before it in its recording (the first one against a
// point whose texts are empty): `shared` is how many characters (UTF-16 units, at most 255) of
// its time stamp are those the one before starts with, and only the rest is written; `same`
// has bit 0 set when its unit is the one before, bit 1 when its settings are, and only the
// texts that differ follow.
//
// WHAT THE STORE HOLDS: every record when the header names the store, or every record before
// the offset of the last Checkpoint record that names it. A journal where neither names the
// store belongs to another store, or to none.
//
// TORN OR DAMAGED: records are read from the header on while a whole frame is there, its
// length is 1 to 64 MiB and fits in the file, and its CRC matches. What follows the last
// readable record is a torn append, which a kill or power cut leaves and which is cut off, when
// it is at most 64 KiB and either
//     - all zero bytes,
//     - shorter than a frame's length and CRC (8 bytes), or
//     - starts with a length that reaches past the end of the file.
// Anything else after it is damage: what comes before the damage is used, and the file is kept
// aside. A file whose header cannot be read is no journal.

// One change to the records or the options, as the journal keeps it. Meters are named by
// identity (address and name), measurements by their place among their meter's measurements.
struct Change {
    enum Kind : quint8 {
        SetOptions = 1,
        AddMeter,
        RelabelMeter,
        RemoveMeter,
        RenameMeasurement,
        RemoveMeasurement,
    };
    Kind kind;
    QBluetoothDeviceInfo meter;
    QString text; // the meter's label, or the measurement's new name
    int measure = -1;
    Options options;
};

// One point of a recording, with the texts that go with it.
struct RecordedPoint {
    double y;
    QString unit;
    QString timestamp;
    QString settings;
};

// The journal's bytes written and read, as above.
namespace JournalFormat {

constexpr int hashSize = 20; // SHA-1
constexpr int headerSize = 8 + 4 + hashSize + 4;

enum class Type : quint8 {
    // 1 to 6 are the changes, numbered as Change::Kind.
    RecordingStart = 16,
    Point,
    SaveRecording,
    DropRecording,
    Checkpoint,
    Resume,
};

quint32 crc32(QByteArrayView bytes);
QByteArray header(const QByteArray &storeHash);
// The frame around a payload (its type byte and fields), as it goes into the file.
QByteArray frame(QByteArrayView payload);

// A record as it was found in a file. Its fields point into the file's bytes.
struct Record {
    qint64 offset; // of its frame
    Type type;
    QByteArrayView fields;
};

// What a journal file holds: the hash of the store its header names (empty when the header
// cannot be read), the records up to the first that cannot be read, and how it ends.
struct Scan {
    QByteArray base;
    QList<Record> records;
    qint64 end = 0; // after the last record that could be read
    bool torn = true; // what follows it is a torn append, not damage

    bool holdsChanges() const;
};
Scan scan(const QByteArray &bytes);

// What each record type holds. Each encode gives the record framed, ready to be appended;
// each decode gives nothing when the record's fields cannot be read.

struct RecordingStart {
    QBluetoothDeviceInfo meter;
    QString label;
    int saved; // how many of its first points were saved as a measurement before
};
struct SaveRecording {
    QString name;
    int count;
};
struct Checkpoint {
    qint64 offset; // the store holds every record before it
    QByteArray storeHash;
};

QByteArray encodeChange(const Change &change);
// Nothing also for a record that is not a change.
std::optional<Change> decodeChange(const Record &record);

QByteArray encodeRecordingStart(const RecordingStart &start);
std::optional<RecordingStart> decodeRecordingStart(const Record &record);

QByteArray encodePoint(const RecordedPoint &point, const RecordedPoint &before);
std::optional<RecordedPoint> decodePoint(const Record &record, const RecordedPoint &before);

QByteArray encodeSaveRecording(const SaveRecording &save);
std::optional<SaveRecording> decodeSaveRecording(const Record &record);

// A drop has no fields: its type is all there is to read.
QByteArray encodeDropRecording();

QByteArray encodeCheckpoint(const Checkpoint &checkpoint);
std::optional<Checkpoint> decodeCheckpoint(const Record &record);

QByteArray encodeResume(const QBluetoothDeviceInfo &meter);
std::optional<QBluetoothDeviceInfo> decodeResume(const Record &record);

} // namespace JournalFormat
