#include "screens/measureoverview.h"
#include "ui_measureoverview.h"

#include "ui/screenbox.h"
#include "ui/theme.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>

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
    setFixedSize(400, 460);
}

measureOverview::~measureOverview() = default;

void measureOverview::setupGraph()
{
    // The chart owns what it draws, and the stored series must outlive this viewer.
    auto *drawn = new QLineSeries;
    drawn->replace(series->points());
    chart = new QChart;
    chart->addSeries(drawn);
    chart->createDefaultAxes();
    chart->legend()->hide();
    chart->setTheme(QChart::ChartThemeDark);
    chartView = new QChartView(chart, ui->graph);
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumSize(400, 221);
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
                          ui->addressForm, ui->unitForm, ui->settingsForm, ui->timeForm})
        label->setStyleSheet(Theme::textStyle(dark));
    ui->graph->setStyleSheet(Theme::contrastStyle(dark));
}

void measureOverview::backClicked()
{
    close();
}

void measureOverview::createCSV()
{
    csvWritten = false;
    emit csvPressed();
    if (csvWritten)
        warnOverScreen(this, isDarkMode, texts[language][6], texts[language][7]);
}
