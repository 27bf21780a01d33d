#pragma once

#include "store/meterrecords.h"

#include <QDialog>
#include <QFont>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class Levels;
class QLineSeries;
class ZoomView;

namespace Ui {
class measureOverview;
}

// Shows one stored measurement: its graph, zoomable along x, the facts of its first point, the
// sample under the pointer, a summary of the stretch shown, and the way to export it as a CSV
// file.
class measureOverview : public QDialog
{
    Q_OBJECT

public:
    measureOverview(int language, QWidget *parent = nullptr);
    ~measureOverview() override;

    // The points to draw. The graph draws a copy, so the series handed in stays its owner's.
    QLineSeries *series;
    bool isDarkMode = false;
    // Set by whoever handles csvPressed() once the file is written, so that only a written
    // file is confirmed.
    bool csvWritten = false;

signals:
    void csvPressed();

public slots:
    void setupGraph();
    void setAddress(const QString &address);
    void setTimestamp(const QString &timestamp);
    void setSettings(const QString &settings);
    void setUnit(const QString &unit);
    // The texts that go with each point, for the readout and the summary.
    void setMeasurement(const Measurement &measurement);
    void setDarkMode(bool dark);
    void backClicked();
    void createCSV();
    // Closed, by any way, the viewer lets go of the points it shares with the records.
    void done(int result) override;

private:
    std::unique_ptr<Ui::measureOverview> ui;
    QList<QStringList> texts;
    int language;
    void sumUp(qsizetype from, qsizetype to);
    void readOut(qsizetype sample);

    ZoomView *chartView = nullptr;
    Measurement shown;
    std::unique_ptr<Levels> levels;
    QFont lineFont; // the readout's and the summary's, as the form gives it
};
