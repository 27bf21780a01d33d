#pragma once

#include "store/samples.h"

#include <QBluetoothDeviceInfo>
#include <QObject>
#include <QString>

#include <memory>

class MeterRecords;
class SleepInhibitor;
class StoreWriter;
struct Reading;

// One recording of a meter's readings, from the opening of its live screen to the screen's
// close: the series recorded since the last cancel, its state, its entry in the journal and the
// sleep inhibitor it holds while there is something to lose. Every frame, play, pause, save,
// cancel, close and loss of the link goes through here, so none of them can leave the others
// half done.
class Recording : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Idle, // nothing recorded since the start or the last cancel
        Running,
        Paused, // with points kept
        Saved, // paused by a save, every point saved
        Ended, // closed by the user: what was not saved is gone, and nothing more is recorded
        GivenUp, // the link did not come back: what was not saved was saved
    };

    explicit Recording(const QBluetoothDeviceInfo &meter, QObject *parent = nullptr);
    ~Recording() override;

    // Saves into the records under the meter, puts each point into the journal as it comes,
    // and keeps the machine awake while recording, or while a lost link is made again with
    // points unsaved; the lock says why in the language given (0 German, 1 English). Without
    // this the recording only holds its points.
    void keepIn(MeterRecords &records, StoreWriter &writer, int language);

    State state() const { return current; }
    bool isRunning() const { return current == State::Running; }
    // The points since the last cancel: x counts them from 1, y is the reading's value or 0
    // when its digits formed no number, whose unit then ends in "?".
    const Samples &samples() const { return series.built(); }
    int size() const { return int(series.built().size()); }
    bool hasUnsavedPoints() const { return size() > saved; }
    // How many of the points a save has kept.
    int savedPoints() const { return saved; }
    // The meter's label in the records now, or its advertised name when it has none there.
    QString label() const;

    // Each decoded reading of the link comes here: recorded while running. True when it was.
    bool take(const Reading &reading);
    // For a recorder that hands each point on as it comes and saves nothing: the points taken
    // so far are let go, and the recording goes on. Not for one kept in the records.
    void letGo();
    // Records, or pauses a recording.
    void play();
    // Saves the whole series since the last cancel as a measurement named `name`, or after its
    // first time stamp when none is given, and pauses. False when there is nothing to save.
    bool save(const QString &name = QString());
    void cancel();
    // The link is lost and being made again.
    void linkLost();
    // The link did not come back: what was not saved is saved.
    void giveUp();
    // The user closed the live screen: what was not saved is discarded, and no reading of the
    // link is recorded from now on.
    void end();

private:
    void keepAwake();

    const QBluetoothDeviceInfo meter;
    State current = State::Idle;
    SamplesBuilder series;
    int saved = 0;
    // The link is being made again and no reading has come since.
    bool away = false;

    MeterRecords *records = nullptr;
    StoreWriter *writer = nullptr;
    int language = 0;
    std::unique_ptr<SleepInhibitor> inhibitor;
};
