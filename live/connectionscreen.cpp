#include "live/connectionscreen.h"
#include "live/recording.h"
#include "ui/narrowfont.h"
#include "ui/screenbox.h"
#include "ui/theme.h"
#include "ui_connectionscreen.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QDateTime>
#include <QLCDNumber>
#include <QLineSeries>
#include <QPixmap>
#include <QValueAxis>

#include <utility>

namespace {

using Form = Ui::connectionScreen;

// Each indicator of the meter face and the display bit that lights it. The Bluetooth image is
// not here: it stands for the link, and is hidden only while a lost link is made again.
constexpr std::pair<QLabel * Form::*, int> indicators[] = {
    { &Form::apoLabel, Segment::Apo },
    { &Form::ACLabel, Segment::Ac },
    { &Form::DCLabel, Segment::Dc },
    { &Form::minLabel, Segment::Min },
    { &Form::maxLabel, Segment::Max },
    { &Form::AUTOLabel, Segment::Auto },
    { &Form::hLabel, Segment::Hold },
    { &Form::relLabel, Segment::Rel },
    { &Form::usbLabel, Segment::Usb },
    { &Form::MLabel, Segment::Mega },
    { &Form::kLabel, Segment::Kilo },
    { &Form::HzLabel, Segment::Hertz },
    { &Form::ohmLabel, Segment::Ohm },
    { &Form::myLabel, Segment::Micro },
    { &Form::minusLabel, Segment::Minus },
    { &Form::mLabel, Segment::Milli },
    { &Form::nLabel, Segment::Nano },
    { &Form::voltLabel, Segment::Volt },
    { &Form::amperLabel, Segment::Ampere },
    { &Form::batteryLabel, Segment::Battery },
    { &Form::diodeLabel, Segment::Diode },
    { &Form::signalLabel, Segment::Sound },
    { &Form::percentLabel, Segment::Percent },
    { &Form::ncvLabel, Segment::Ncv },
    { &Form::celsiusLabel, Segment::Celsius },
    { &Form::fahrenheitLabel, Segment::Fahrenheit },
    { &Form::fLabel, Segment::Farad },
};

// The text labels that sit on the meter face and so take its colours; pictures keep theirs.
// The minus sign is among them: drawn from a plain symbol font it would otherwise stay black
// on the dark face of the light theme, and a negative reading would look positive.
constexpr QLabel *Form::*panelTexts[] = {
    &Form::minusLabel,
    &Form::ACLabel,
    &Form::AUTOLabel,
    &Form::DCLabel,
    &Form::HzLabel,
    &Form::MLabel,
    &Form::amperLabel,
    &Form::apoLabel,
    &Form::celsiusLabel,
    &Form::fahrenheitLabel,
    &Form::fLabel,
    &Form::hLabel,
    &Form::kLabel,
    &Form::mLabel,
    &Form::maxLabel,
    &Form::minLabel,
    &Form::nLabel,
    &Form::ncvLabel,
    &Form::percentLabel,
    &Form::relLabel,
    &Form::usbLabel,
    &Form::voltLabel,
    &Form::myLabel,
    &Form::ohmLabel,
};

// Shown on the meter face while a lost link is made again.
const QString linkLostText[2] = {
    QStringLiteral("Verbindung zum Gerät verloren.\nSie wird wiederhergestellt …"),
    QStringLiteral("Connection to the device lost.\nReconnecting …"),
};
const QString bluetoothOffText[2] = {
    QStringLiteral("Bluetooth ist ausgeschaltet oder nicht vorhanden.\nDie Verbindung wird "
                   "wiederhergestellt, sobald es zurück ist …"),
    QStringLiteral("Bluetooth is switched off or missing.\nReconnecting as soon as it is back …"),
};

const QString playIcon = QStringLiteral(":/image/playv2.png");
const QString pauseIcon = QStringLiteral(":/image/pausev2.png");
const QString cancelIcon = QStringLiteral(":/image/stopv2.png");
const QString saveIcon = QStringLiteral(":/image/savev2.png");

void setImage(QLabel *label, const QString &path)
{
    label->setPixmap(
        QPixmap(path).scaled(label->size(), Qt::KeepAspectRatio, Qt::FastTransformation));
}

// A flat line gets half a unit either side, as the chart's own default axes give it.
void fitAxis(QValueAxis *axis, qreal min, qreal max)
{
    if (min == max) {
        min -= 0.5;
        max += 0.5;
    }
    axis->setRange(min, max);
}

} // namespace

connectionScreen::connectionScreen(int language, Recording *recording, QWidget *parent)
    : QDialog(parent),
      messages{ { QStringLiteral("Messung erfolreich gespeichert!"),
                    QStringLiteral("Messung gespeichert. Sie finden die Messungen des jeweiligen "
                                   "Geräts im Startbildschirm unter Verwalten."),
                    QStringLiteral("Keine Messreihe gestartet"),
                    QStringLiteral("Bitte starten Sie erst eine Messreihe!") },
          { QStringLiteral("Measurement successfully saved!"),
              QStringLiteral("Measurement saved. You can find the measurements of devices in "
                             "the home screen under Edit."),
              QStringLiteral("Measuring not started"),
              QStringLiteral("Please start measuring first!") } },
      ui(std::make_unique<Ui::connectionScreen>()), recording(recording), liveSeries(new QLineSeries), chart(new QChart),
      language(language)
{
    ui->setupUi(this);

    chart->addSeries(liveSeries);
    chart->createDefaultAxes();
    axisX = qobject_cast<QValueAxis *>(chart->axes(Qt::Horizontal).constFirst());
    axisY = qobject_cast<QValueAxis *>(chart->axes(Qt::Vertical).constFirst());
    chart->legend()->hide();
    chart->setTheme(QChart::ChartThemeDark);
    chartView = new QChartView(chart, ui->graph);
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumSize(ui->graph->size());

    lcd = new QLCDNumber(5, ui->display);
    lcd->setGeometry(80, 45, 211, 121);
    useNarrowFont(ui->label);

    // Written as code points: Ω and μ have look-alikes (U+03A9, U+00B5) that editors swap in.
    ui->ohmLabel->setText(QStringLiteral("\u2126"));
    ui->myLabel->setText(QStringLiteral("\u03bc"));
    ui->minusLabel->setText(QStringLiteral("\u2796"));
    setImage(ui->batteryLabel, QStringLiteral(":/image/batteryImage.jpg"));
    setImage(ui->bluetoothLabel, QStringLiteral(":/image/bluetoothImage.png"));
    setImage(ui->diodeLabel, QStringLiteral(":/image/diodeImage.jpg"));
    setImage(ui->signalLabel, QStringLiteral(":/image/signalImage.png"));

    connect(this, &connectionScreen::dataChanged, this, &connectionScreen::transformData);
    connect(this, &connectionScreen::dataTransformed, this, &connectionScreen::updateGraph);
    connect(this, &connectionScreen::dataTransformed, this, &connectionScreen::updateDisplay);

    connect(ui->saveToolButton, &QToolButton::clicked, this, &connectionScreen::saveButton);
    connect(ui->cancelToolButton, &QToolButton::clicked, this, &connectionScreen::cancelButton);
    connect(ui->playToolButton, &QToolButton::clicked, this, &connectionScreen::playButton);
    const std::pair<QToolButton *, QString> buttons[] = {
        { ui->saveToolButton, saveIcon },
        { ui->cancelToolButton, cancelIcon },
        { ui->playToolButton, playIcon },
    };
    for (const auto &[button, icon] : buttons) {
        button->setIconSize(button->size());
        setButtonIcon(button, icon);
    }
}

connectionScreen::~connectionScreen() = default;

void connectionScreen::setDarkMode(bool dark)
{
    setStyleSheet(Theme::pageStyle(dark));
    ui->display->setStyleSheet(Theme::panelStyle(dark));
    lcd->setStyleSheet(Theme::panelTextStyle(dark));
    ui->linkLostLabel->setStyleSheet(Theme::panelTextStyle(dark));
    ui->label->setStyleSheet(Theme::textStyle(dark));
    ui->statisticsLabel->setStyleSheet(Theme::textStyle(dark));
    for (QLabel *Form::*label : panelTexts)
        (ui.get()->*label)->setStyleSheet(Theme::panelTextStyle(dark));
}

void connectionScreen::closeEvent(QCloseEvent *event)
{
    recording->end();
    event->accept();
    emit endConnection();
}

void connectionScreen::reject()
{
    close();
}

void connectionScreen::updateGraph()
{
    if (!recording->take(reading))
        return;
    if (liveSeries->count() > 19)
        liveSeries->remove(0);
    const Samples &recorded = recording->samples();
    const qsizetype newest = recorded.size() - 1;
    liveSeries->append(recorded.points[newest]);
    statistics.add(recorded.points[newest].y(), recorded.unit(newest), readingTime);
    ui->statisticsLabel->setText(statistics.line(language));
    fitAxes();
}

void connectionScreen::transformData()
{
    const QDateTime now = QDateTime::currentDateTime();
    std::optional<Reading> decoded = decodeFrame(receivedData, now);
    // A damaged notification must not blank the display or put a false point into the series.
    if (!decoded)
        return;
    reading = std::move(*decoded);
    readingTime = now;
    emit dataTransformed();
}

void connectionScreen::playButton()
{
    recording->play();
    setButtonIcon(ui->playToolButton, recording->isRunning() ? pauseIcon : playIcon);
}

void connectionScreen::saveButton()
{
    if (recording->size() > 0) {
        emit saveMeasure();
        tellSaved();
    } else {
        showWarning(2);
    }
}

void connectionScreen::tellSaved()
{
    setButtonIcon(ui->playToolButton, playIcon);
    showWarning(0);
}

void connectionScreen::cancelButton()
{
    recording->cancel();
    setButtonIcon(ui->playToolButton, playIcon);
    showAxes(false);
    liveSeries->clear();
    statistics.clear();
    ui->statisticsLabel->clear();
}

void connectionScreen::showLinkLost(bool bluetoothOff)
{
    linkLost = true;
    lcd->hide();
    for (QLabel *label : ui->display->findChildren<QLabel *>())
        label->hide();
    ui->linkLostLabel->setText((bluetoothOff ? bluetoothOffText : linkLostText)[language == 1]);
    ui->linkLostLabel->show();
}

void connectionScreen::updateDisplay()
{
    if (linkLost) {
        linkLost = false;
        ui->linkLostLabel->hide();
        ui->bluetoothLabel->show();
        lcd->show();
    }
    if (reading.value == Reading::unreadable)
        lcd->display(QStringLiteral("0.L"));
    else
        lcd->display(double(reading.value));
    for (const auto &[label, index] : indicators)
        (ui.get()->*label)->setVisible(reading.segments[index]);
}

void connectionScreen::setButtonIcon(QToolButton *button, const QString &path)
{
    button->setIcon(
        QPixmap(path).scaled(button->size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

// After a cancel the chart stays blank, without axes, until the next recorded point.
void connectionScreen::showAxes(bool shown)
{
    axisX->setVisible(shown);
    axisY->setVisible(shown);
}

// Only the ranges move; rebuilding the axes per point made each frame slower as a recording
// grew.
void connectionScreen::fitAxes()
{
    const QList<QPointF> shown = liveSeries->points();
    qreal low = shown.constFirst().y();
    qreal high = low;
    for (const QPointF &point : shown) {
        low = qMin(low, point.y());
        high = qMax(high, point.y());
    }
    fitAxis(axisX, shown.constFirst().x(), shown.constLast().x());
    fitAxis(axisY, low, high);
    showAxes(true);
}

void connectionScreen::showWarning(int titleEntry)
{
    warnOverScreen(this, isDarkMode, messages[language][titleEntry],
                   messages[language][titleEntry + 1]);
}
