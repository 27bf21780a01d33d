#pragma once

#include "live/framedecoder.h"
#include "live/statistics.h"

#include <QByteArray>
#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QStringList>

#include <memory>

class QChart;
class QChartView;
class QCloseEvent;
class QLCDNumber;
class QLineSeries;
class QToolButton;
class QValueAxis;

namespace Ui {
class connectionScreen;
}

// The live screen of a connected meter: mirrors its display, graphs the readings and records
// the series that the main window saves.
class connectionScreen : public QDialog
{
    Q_OBJECT

public:
    explicit connectionScreen(int language, QWidget *parent = nullptr);
    ~connectionScreen() override;

    // Points recorded since the last save or cancel, which a lost link would otherwise take.
    bool hasUnsavedPoints() const;
    bool isRecording() const { return recording; }
    // The link is lost and being made again: the display says so instead of showing the last
    // reading as if it were current, until the next frame arrives.
    void showLinkLost();

    // Written by the main window before each dataChanged(); read by it inside saveMeasure().
    QByteArray receivedData;
    QLineSeries *measureSeries;
    QStringList unitList;
    QStringList timestampList;
    QStringList settingsList;
    bool isDarkMode = false;

signals:
    void dataTransformed();
    void endConnection();
    void dataChanged();
    void saveMeasure();
    // After a cancel has discarded the recorded series.
    void measureCancelled();

public slots:
    void setDarkMode(bool dark);
    void closeEvent(QCloseEvent *event) override;
    // Escape closes the screen as its frame does, so the link ends with it.
    void reject() override;
    void updateGraph();
    void transformData();
    void playButton();
    void saveButton();
    void cancelButton();
    void updateDisplay();

private:
    void setButtonIcon(QToolButton *button, const QString &path);
    void showAxes(bool shown);
    void fitAxes();
    void showWarning(int titleEntry);

    const QList<QStringList> messages;
    std::unique_ptr<Ui::connectionScreen> ui;
    QLineSeries *liveSeries;
    QChart *chart;
    QChartView *chartView;
    QValueAxis *axisX;
    QValueAxis *axisY;
    bool recording = false;
    int language;
    Reading reading;
    QDateTime readingTime;
    Statistics statistics;
    int liveIndex = 0;
    int measureIndex = 0;
    int savedPoints = 0;
    bool linkLost = false;
    QLCDNumber *lcd;

    friend class ConnectionScreenTest;
};
