// How many display frames per second the decoder turns into readings, clock read included,
// as the live screen does for every notification.

#include "live/framedecoder.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>

#include <algorithm>
#include <cstdio>

namespace {

// A thousand different frames: every digit pattern, points moving about, some unreadable
// (overload "0.L") frames and a few indicator sets, as a meter switching ranges would send.
QList<QByteArray> sampleFrames()
{
    static const int first[] = { 0xE, 0x0, 0xA, 0x8, 0x4, 0xC, 0xE, 0x8, 0xE, 0xC };
    static const int second[] = { 0xB, 0xA, 0xD, 0xF, 0xE, 0x7, 0x7, 0xA, 0xF, 0xF };
    static const int indicatorSets[][15] = {
        { 0x6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1, 0, 0x2, 0, 0 }, // DC AUTO, m V
        { 0x5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x2, 0, 0x1 }, // AC AUTO, V, APO
        { 0x4, 0, 0, 0, 0, 0, 0, 0, 0, 0x4, 0, 0x2, 0, 0, 0 }, // AUTO, k Ohm
        { 0x0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x2, 0x8 }, // °C, MAX
    };
    QList<QByteArray> frames;
    for (int n = 0; n < 1000; ++n) {
        int nibbles[15];
        std::copy(std::begin(indicatorSets[n % 4]), std::end(indicatorSets[n % 4]), nibbles);
        const int number = (n * 7919) % 10000;
        for (int p = 0, divisor = 1000; p < 4; ++p, divisor /= 10) {
            const int d = number / divisor % 10;
            nibbles[2 * p + 1] |= first[d];
            nibbles[2 * p + 2] |= second[d];
        }
        nibbles[1 + 2 * (n % 3 + 1)] |= 1; // a point after digit 1, 2 or 3
        if (n % 50 == 0) { // an L in position 3, in bytes 5 and 6
            nibbles[5] = 0x6;
            nibbles[6] = 0x1;
        }
        QByteArray hex;
        for (int nibble : nibbles)
            hex += QByteArray::number(nibble, 16).prepend('0');
        frames.append(hex);
    }
    return frames;
}

// Frames per second over count frames; the clock is read per frame only when asked.
double framesPerSecond(const QList<QByteArray> &frames, int count, bool readClock)
{
    const QDateTime fixed = QDateTime::currentDateTime();
    double checksum = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        const std::optional<Reading> reading = decodeFrame(
            frames[i % frames.size()], readClock ? QDateTime::currentDateTime() : fixed);
        checksum += reading->value + reading->unit.size() + reading->timestamp.size();
    }
    const double rate = count / (timer.nsecsElapsed() / 1e9);
    return checksum > 0 ? rate : 0; // the checksum keeps the work from being optimised away
}

} // namespace

int main()
{
    const QList<QByteArray> frames = sampleFrames();
    const int count = 1000000;
    framesPerSecond(frames, count / 10, false); // warm up
    const double alone = framesPerSecond(frames, count, false);
    const double withClock = framesPerSecond(frames, count, true);
    std::printf("decoder, time given:          %9.0f frames/s (%.2f us per frame), "
                "target >= 200000: %s\n",
        alone, 1e6 / alone, alone >= 200000 ? "met" : "MISSED");
    std::printf("decoder + local clock read:   %9.0f frames/s (%.2f us per frame), "
                "as transformData() runs it\n",
        withClock, 1e6 / withClock);
    std::printf("clock read share of the live decode: %.0f %%  (%d frames each)\n",
        100.0 * (1 / withClock - 1 / alone) * withClock, count);
    return 0;
}
