#include "live/recording.h"

#include "live/framedecoder.h"
#include "store/meterrecords.h"
#include "store/storewriter.h"
#include "system/sleepinhibitor.h"

namespace {

// Shown by the desktop to whoever asks what keeps the machine awake.
const QString awakeWhy[2] = {
    QStringLiteral("Kalvion zeichnet die Messwerte von „%1“ auf"),
    QStringLiteral("Kalvion is recording the readings of \"%1\""),
};

} // namespace

Recording::Recording(const QBluetoothDeviceInfo &meter, QObject *parent)
    : QObject(parent), meter(meter)
{
}

Recording::~Recording() = default;

void Recording::keepIn(MeterRecords &records, StoreWriter &writer, int language)
{
    this->records = &records;
    this->writer = &writer;
    this->language = language == 1 ? 1 : 0;
    inhibitor = std::make_unique<SleepInhibitor>();
}

bool Recording::take(const Reading &reading)
{
    if (current == State::Ended || current == State::GivenUp)
        return false;
    if (away) {
        away = false;
        keepAwake();
    }
    if (current != State::Running)
        return false;
    const bool readable = reading.value != Reading::unreadable;
    const double y = readable ? double(reading.value) : 0.0;
    const QString unit = readable ? reading.unit : reading.unit + u'?';
    series.append(QPointF(size() + 1, y), reading.timestamp, unit, reading.settings);
    if (writer) {
        if (!writer->journal().recording(meter))
            writer->startRecording(meter, label());
        writer->keepPoint(meter, { y, unit, reading.timestamp, reading.settings });
    }
    return true;
}

void Recording::letGo()
{
    Q_ASSERT(!writer);
    series = SamplesBuilder();
}

void Recording::play()
{
    if (current == State::Ended || current == State::GivenUp)
        return;
    current = current == State::Running ? State::Paused : State::Running;
    keepAwake();
}

bool Recording::save(const QString &named)
{
    if (size() == 0 || current == State::Ended)
        return false;
    const Samples &points = samples();
    const QString name = named.isEmpty() ? points.timestamp(0) : named;
    if (records) {
        // Filed under the meter of the link, wherever the list shows it by now.
        const int row = records->find(meter);
        if (row < 0)
            return false;
        records->addMeasurement(row, name, points);
        writer->saveRecording(meter, name, size());
    }
    saved = size();
    if (current != State::GivenUp)
        current = State::Saved;
    keepAwake();
    return true;
}

void Recording::cancel()
{
    if (current == State::Ended || current == State::GivenUp)
        return;
    series = SamplesBuilder();
    saved = 0;
    current = State::Idle;
    if (writer && writer->journal().recording(meter))
        writer->dropRecording(meter);
    keepAwake();
}

void Recording::linkLost()
{
    away = true;
    keepAwake();
}

void Recording::giveUp()
{
    if (current == State::Ended || current == State::GivenUp)
        return;
    current = State::GivenUp;
    away = false;
    if (hasUnsavedPoints())
        save();
    keepAwake();
}

void Recording::end()
{
    if (current != State::GivenUp)
        current = State::Ended;
    away = false;
    if (writer && writer->journal().recording(meter))
        writer->dropRecording(meter);
    // Nothing of it is needed any more; a long series is given back at once.
    series = SamplesBuilder();
    keepAwake();
}

// Held while there is something to lose: while recording, and while the link is made again
// with points that were not saved.
void Recording::keepAwake()
{
    if (!inhibitor)
        return;
    const bool needed = current == State::Running || (away && hasUnsavedPoints());
    if (!needed) {
        inhibitor->release();
        return;
    }
    if (inhibitor->isHeld())
        return;
    inhibitor->hold(awakeWhy[language].arg(label()));
}

QString Recording::label() const
{
    const int row = records ? records->find(meter) : -1;
    return row >= 0 ? records->label(row) : meter.name();
}
