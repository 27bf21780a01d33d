#include "live/statistics.h"

#include <QStringList>

QString unitText(const QString &unit)
{
    QString shown = unit;
    shown.replace(QStringLiteral("mü"), QStringLiteral("\u03bc"))
        .replace(QStringLiteral("Ohm"), QStringLiteral("\u2126"))
        .remove(' ');
    return shown;
}

QString readingText(double value)
{
    return QString::number(value, 'g', 5);
}

QString durationText(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

void Statistics::add(double y, const QString &unit, const QDateTime &when)
{
    if (count++ == 0)
        first = when;
    newest = when;
    const bool readable = !unit.endsWith(u'?');
    newestUnit = readable ? unit : unit.chopped(1);
    if (!readable)
        return;
    Figures &f = perUnit[newestUnit];
    if (f.count == 0)
        units.append(newestUnit);
    f.min = f.count ? std::min(f.min, y) : y;
    f.max = f.count ? std::max(f.max, y) : y;
    f.sum += y;
    ++f.count;
}

void Statistics::clear()
{
    *this = Statistics();
}

namespace {

const QString words[2][6] = {
    { "h", "1 Punkt", "%1 Punkte", "Min", "Max", "Mittel" },
    { "h", "1 point", "%1 points", "min", "max", "mean" },
};

} // namespace

QString Statistics::line(int language) const
{
    if (count == 0)
        return {};
    const QString *w = words[language == 1 ? 1 : 0];
    return (durationText(first.msecsTo(newest)) + ' ' + w[0] + QStringLiteral(" · ")
               + (count == 1 ? w[1] : w[2].arg(count)) + QStringLiteral(" · ")
               + figuresText(newestUnit, w))
        .trimmed();
}

QString Statistics::summary() const
{
    QStringList parts = { durationText(first.msecsTo(newest)) + QStringLiteral(" h"),
        count == 1 ? QStringLiteral("1 reading") : QStringLiteral("%1 readings").arg(count) };
    for (const QString &unit : units)
        parts.append(figuresText(unit, words[1]).trimmed());
    return parts.join(QStringLiteral(" · "));
}

QString Statistics::figuresText(const QString &unit, const QString *w) const
{
    const Figures f = perUnit.value(unit);
    const QString none = QStringLiteral("–");
    const QStringList parts = {
        w[3] + ' ' + (f.count ? readingText(f.min) : none),
        w[4] + ' ' + (f.count ? readingText(f.max) : none),
        w[5] + ' ' + (f.count ? readingText(f.sum / double(f.count)) : none) + ' '
            + unitText(unit),
    };
    return parts.join(QStringLiteral(" · "));
}
