#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

// How figures are written wherever a series is summed up: a reading, a unit as the meter face
// shows it (the words of the unit text run together, micro and ohm as their symbols), and a
// duration as h:mm:ss.
QString readingText(double value);
QString unitText(const QString &unit);
QString durationText(qint64 ms);

// The figures of a recorded series, kept up to date point by point so that a frame costs the
// same however long the recording: how long it runs, how many points it has, and min, max and
// mean of the readable points of each unit.
class Statistics
{
public:
    // A recorded point: its value, its unit text as recorded ("?" at the end when the digits
    // formed no number) and when it was taken.
    void add(double y, const QString &unit, const QDateTime &when);
    void clear();
    bool isEmpty() const { return count == 0; }

    // One line, in the language given (0 German, 1 English): the time since the first point,
    // the number of points, and the figures of the readable points in the newest point's unit.
    QString line(int language) const;
    // The whole series, in English for the command line: the time since the first point, the
    // number of readings, and the figures of each unit in the order the units came.
    QString summary() const;

private:
    struct Figures {
        double min = 0;
        double max = 0;
        double sum = 0;
        qint64 count = 0;
    };

    // One unit's figures, in the words given: min, max and mean, then the unit.
    QString figuresText(const QString &unit, const QString *words) const;

    QHash<QString, Figures> perUnit; // by unit, without the "?"
    QStringList units; // those with a readable point, in the order they came
    QString newestUnit;
    QDateTime first;
    QDateTime newest;
    qint64 count = 0;
};
