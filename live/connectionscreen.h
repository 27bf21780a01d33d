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
class Recording;

namespace Ui {
class connectionScreen;
}

// The live screen of a connected meter: mirrors its display, graphs the readings, and is where
// the user plays, pauses, saves and cancels the recording it shows.
class connectionScreen : public QDialog
{
    Q_OBJECT

public:
    // The recording outlives the screen.
    connectionScreen(int language, Recording *recording, QWidget *parent = nullptr);
    ~connectionScreen() override;

    // The link is lost and being made again: the display says so, and whether Bluetooth is off
    // or missing meanwhile, instead of showing the last reading as if it were current, until
    // the next frame arrives.
    void showLinkLost(bool bluetoothOff);
    // Tells that the series was saved, over the screen, and shows it paused.
    void tellSaved();

    // Written by the main window before each dataChanged().
    QByteArray receivedData;
    bool isDarkMode = false;

signals:
    void dataTransformed();
    void endConnection();
    void dataChanged();
    // The user saved the series, which is paused now.
    void saveMeasure();

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
    Recording *const recording;
    QLineSeries *liveSeries;
    QChart *chart;
    QChartView *chartView;
    QValueAxis *axisX;
    QValueAxis *axisY;
    int language;
    Reading reading;
    QDateTime readingTime;
    Statistics statistics;
    bool linkLost = false;
    QLCDNumber *lcd;

    friend class ConnectionScreenTest;
};
