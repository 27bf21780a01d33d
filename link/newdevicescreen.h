#pragma once

#include <QBluetoothDeviceInfo>
#include <QDialog>
#include <QList>
#include <QStringList>

#include <memory>

namespace Ui {
class newDeviceScreen;
}

// The search for meters nearby: lists the first meter a Low Energy search finds and hands the
// one the user confirms back to the main window.
class newDeviceScreen : public QDialog
{
    Q_OBJECT

public:
    newDeviceScreen(int language, QWidget *parent = nullptr);
    ~newDeviceScreen() override;

    QString selectedName;
    QBluetoothDeviceInfo foundDevice;
    bool isDarkMode = false;

signals:
    void confirmPressed();
    void finishedDiscovery();
    void startedDiscovery();

public slots:
    void setDarkMode(bool dark);
    void clickCancel();
    void clickConfirm();
    void clickSearch();
    void addDeviceToList(const QBluetoothDeviceInfo &info);
    void discoveryFinished();

private:
    std::unique_ptr<Ui::newDeviceScreen> ui;
    QList<QStringList> texts;
    int language;
};
