#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class QChart;
class QChartView;
class QLineSeries;

namespace Ui {
class measureOverview;
}

// Shows one stored measurement: its graph, the facts of its first point, and the way to export
// it as a CSV file.
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
    void setDarkMode(bool dark);
    void backClicked();
    void createCSV();

private:
    std::unique_ptr<Ui::measureOverview> ui;
    QList<QStringList> texts;
    int language;
    QChart *chart = nullptr;
    QChartView *chartView = nullptr;
};
