#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace Ui {
class deviceOverviewScreen;
}

// Manages one known meter: signals relabelling or deleting it, and renames, deletes or opens its
// measurements, whose rows stay in step with the main window's records.
class deviceOverviewScreen : public QDialog
{
    Q_OBJECT

public:
    deviceOverviewScreen(int language, QWidget *parent = nullptr);
    ~deviceOverviewScreen() override;

    bool isDarkMode = false;

signals:
    void deletePressed();
    void renamePressed();
    void measureDeleted(int row);
    void openMeasures(int row);
    void measureNameChanged(int row, const QString &name);

public slots:
    void renameDevice();
    void deleteDevice();
    void deleteMeasure();
    void openMeasureOverview();
    void renameMeasure();
    void setName(const QString &name);
    void setCurrentElement(const QString &name);
    void setDarkMode(bool dark);

private:
    std::unique_ptr<Ui::deviceOverviewScreen> ui;
    QList<QStringList> texts;
    int language;
};
