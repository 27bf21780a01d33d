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
    f.min = f.count ? std::min(f.min, y) : y;
    f.max = f.count ? std::max(f.max, y) : y;
    f.sum += y;
    ++f.count;
}

void Statistics::clear()
{
    *this = Statistics();
}

QString Statistics::line(int language) const
{
    if (count == 0)
        return {};
    static const QString words[2][6] = {
        { "h", "1 Punkt", "%1 Punkte", "Min", "Max", "Mittel" },
        { "h", "1 point", "%1 points", "min", "max", "mean" },
    };
    const QString *w = words[language == 1 ? 1 : 0];
    const Figures f = perUnit.value(newestUnit);
    const QString none = QStringLiteral("–");
    const QStringList parts = {
        durationText(first.msecsTo(newest)) + ' ' + w[0],
        count == 1 ? w[1] : w[2].arg(count),
        w[3] + ' ' + (f.count ? readingText(f.min) : none),
        w[4] + ' ' + (f.count ? readingText(f.max) : none),
        w[5] + ' ' + (f.count ? readingText(f.sum / double(f.count)) : none) + ' '
            + unitText(newestUnit),
    };
    return parts.join(QStringLiteral(" · ")).trimmed();
}
