#include "screens/measureoverview.h"
#include "ui_measureoverview.h"

#include "live/statistics.h"
#include "plot/levels.h"
#include "plot/zoomview.h"
#include "ui/narrowfont.h"
#include "ui/screenbox.h"
#include "ui/theme.h"

#include <QDateTime>
#include <QLineSeries>

namespace {

// The new texts of the viewer, German and English.
const QString sampleWords[2] = { QStringLiteral("Nr. %1: %2 · %3 · %4"),
    QStringLiteral("No. %1: %2 · %3 · %4") };
const QString summaryWords[2][4] = {
    { QStringLiteral("1 Punkt"), QStringLiteral("%1 Punkte"), QStringLiteral("Min %1 · Max %2 · Ø %3"),
        QStringLiteral("Doppelklick oder 0: ganze Messung") },
    { QStringLiteral("1 point"), QStringLiteral("%1 points"),
        QStringLiteral("min %1 · max %2 · mean %3"),
        QStringLiteral("Double-click or 0: whole measurement") },
};

QDateTime timeOf(const QString &timestamp)
{
    return QDateTime::fromString(timestamp.left(23), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

// The same local time when the clock read it once more, a step earlier (-1) or later (+1): where
// the clock was put back over it, it read it twice. Else the time itself.
QDateTime readAgain(const QDateTime &local, int direction)
{
    constexpr qint64 day = 24 * 3600 * 1000;
    const qint64 at = local.toMSecsSinceEpoch();
    // How far the clock went back around that time, if it did.
    const int back = QDateTime::fromMSecsSinceEpoch(at - day).offsetFromUtc()
        - QDateTime::fromMSecsSinceEpoch(at + day).offsetFromUtc();
    const QDateTime again = QDateTime::fromMSecsSinceEpoch(at + 1000 * qint64(direction * back));
    return back > 0 && again.date() == local.date() && again.time() == local.time() ? again : local;
}

// How long from one local time stamp to a later one. Stamps follow each other, so a later one
// that reads earlier came after the clock was put back: then each counts at the reading that
// keeps them in order. Never less than zero, whatever else the clock did.
qint64 msecsBetween(const QString &first, const QString &last)
{
    const QDateTime from = timeOf(first), to = timeOf(last);
    if (!from.isValid() || !to.isValid())
        return 0;
    qint64 ms = from.msecsTo(to);
    if (ms < 0)
        ms = readAgain(from, -1).msecsTo(readAgain(to, 1));
    return std::max<qint64>(ms, 0);
}

} // namespace

measureOverview::measureOverview(int language, QWidget *parent)
    : QDialog(parent),
      series(new QLineSeries(this)),
      ui(new Ui::measureOverview),
      language(language == 1 ? 1 : 0)
{
    const QStringList german = {
        "Zurück",
        "CSV-Datei erstellen",
        "Adresse:",
        "Zeitpunkt:",
        "Einstellungen:",
        "Einheit:",
        "CSV-Datei erstellt",
        "Die CSV-Datei wurde erfolgreich erstellt!",
    };
    const QStringList english = {
        "Back",
        "Create CSV file",
        "Address:",
        "Timestamp:",
        "Settings:",
        "Unit:",
        "CSV file created",
        "CSV file was successfully created!",
    };
    texts = {german, english};

    ui->setupUi(this);
    connect(ui->csvButton, &QPushButton::clicked, this, &measureOverview::createCSV);
    connect(ui->backButton, &QPushButton::clicked, this, &measureOverview::backClicked);
    const QStringList &t = texts[this->language];
    ui->backButton->setText(t[0]);
    ui->csvButton->setText(t[1]);
    ui->addressLabel->setText(t[2]);
    ui->timestampLabel->setText(t[3]);
    ui->settingsLabel->setText(t[4]);
    ui->unitLabel->setText(t[5]);
    setWindowTitle("KalvionApp");
    setFixedSize(400, 476);
    lineFont = ui->summaryLabel->font();
}

measureOverview::~measureOverview() = default;

void measureOverview::setupGraph()
{
    // The stored series stays its owner's: the levels share its points, and the chart draws
    // their own copy of what fits the screen.
    levels = std::make_unique<Levels>(series->points(), [this](qsizetype i) {
        return i < shown.size() ? shown.unit(int(i)) : QString();
    });
    chartView = new ZoomView(*levels, ui->graph);
    chartView->setMinimumSize(400, 221);
    connect(chartView, &ZoomView::stretchShown, this, &measureOverview::sumUp);
    connect(chartView, &ZoomView::pointed, this, &measureOverview::readOut);
    // The chart has the keys from the start; the form lets the buttons take them by Tab only, so
    // that a click on one leaves them with the chart.
    chartView->setFocus();
    sumUp(0, levels->size());
}

void measureOverview::setMeasurement(const Measurement &measurement)
{
    shown = measurement;
}

// The stretch shown: how many samples, how long it runs, and min, max and mean of its readable
// samples in the first one's unit.
void measureOverview::sumUp(qsizetype from, qsizetype to)
{
    readOut(-1);
    if (to <= from || to > shown.size()) {
        ui->summaryLabel->clear();
        return;
    }
    const QString *w = summaryWords[language];
    const QString unit = QString(shown.unit(int(from))).remove('?');
    const Figures f = levels->figures(from, to, unit);
    const QString none = QStringLiteral("–");
    const qint64 ms = msecsBetween(shown.timestamp(int(from)), shown.timestamp(int(to - 1)));
    const QStringList parts = {
        to - from == 1 ? w[0] : w[1].arg(to - from),
        durationText(ms) + QStringLiteral(" h"),
        w[2].arg(f.count ? readingText(f.min) : none, f.count ? readingText(f.max) : none,
                f.count ? readingText(f.sum / double(f.count)) : none)
            + ' ' + unitText(unit),
    };
    // A long stretch of small readings makes the widest line: it may get a little smaller.
    showInOneLine(ui->summaryLabel, parts.join(QStringLiteral(" · ")).trimmed(), lineFont, 7);
}

// The sample under the pointer; once it left, how to get back to the whole when zoomed.
void measureOverview::readOut(qsizetype sample)
{
    QString line;
    if (sample < 0 && chartView && chartView->isZoomed()) {
        line = summaryWords[language][3];
    } else if (sample >= 0 && sample < shown.size()) {
        const QString &unit = shown.unit(int(sample));
        const double y = levels->sample(sample).y();
        const QString value = (unit.contains('?') ? QStringLiteral("?") : readingText(y)) + ' '
            + unitText(QString(unit).remove('?'));
        // The number as stored, in full: a plain arg() would write sample 1000000 as 1e+06.
        line = sampleWords[language].arg(QString::number(levels->sample(sample).x(), 'g', 15),
            value.trimmed(), shown.timestamp(int(sample)), shown.settings(int(sample)).trimmed());
    }
    // A sample lit with many indicators gives way at its settings, which come last.
    showInOneLine(ui->readoutLabel, line, lineFont, lineFont.pointSizeF());
}

void measureOverview::setAddress(const QString &address)
{
    ui->addressForm->setText(address);
}

void measureOverview::setTimestamp(const QString &timestamp)
{
    ui->timeForm->setText(timestamp);
}

void measureOverview::setSettings(const QString &settings)
{
    ui->settingsForm->setText(settings);
}

void measureOverview::setUnit(const QString &unit)
{
    ui->unitForm->setText(unit);
}

void measureOverview::setDarkMode(bool dark)
{
    setStyleSheet(Theme::pageStyle(dark));
    ui->csvButton->setStyleSheet(Theme::buttonStyle(dark));
    ui->backButton->setStyleSheet(Theme::buttonStyle(dark));
    for (QLabel *label : {ui->addressLabel, ui->settingsLabel, ui->timestampLabel, ui->unitLabel,
                          ui->addressForm, ui->unitForm, ui->settingsForm, ui->timeForm,
                          ui->readoutLabel, ui->summaryLabel})
        label->setStyleSheet(Theme::textStyle(dark));
    ui->graph->setStyleSheet(Theme::contrastStyle(dark));
}

void measureOverview::backClicked()
{
    close();
}

// Shared with the records, the points would otherwise be copied at the records' next change.
// The chart goes first, as it reads from the levels.
void measureOverview::done(int result)
{
    QDialog::done(result);
    delete chartView;
    chartView = nullptr;
    levels.reset();
    series->clear();
    shown = {};
}

void measureOverview::createCSV()
{
    csvWritten = false;
    emit csvPressed();
    if (csvWritten)
        warnOverScreen(this, isDarkMode, texts[language][6], texts[language][7]);
}
