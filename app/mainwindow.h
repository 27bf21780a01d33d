#pragma once

#include "store/meterrecords.h"
#include "store/storewriter.h"

#include <QBluetoothUuid>
#include <QByteArray>
#include <QLowEnergyCharacteristic>
#include <QLowEnergyService>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>

class MeterLink;
class QCloseEvent;
class Recording;
class connectionScreen;
class deviceOverviewScreen;
class languageScreen;
class loadingScreen;
class measureOverview;
class newDeviceScreen;
class settingsScreen;

namespace Ui {
class MainWindow;
}

// The main window: the list of known meters, the way to every other screen, and the owner of
// everything that outlives a screen (options, meter records, the Bluetooth link).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    bool tovik;
    const MeterRecords &meterRecords() const { return records; }
    const StoreWriter &storeWriter() const { return writer; }
    // The recording of the live screen last opened, if any.
    const Recording *liveRecording() const { return recording.get(); }
    // The session ends without the close question: keeps a recording in progress as a
    // measurement and puts everything on disk. True while a checkpoint is still being written,
    // which the caller may abandon.
    bool endSession();
    // The session manager asks to save before a logout that may still be cancelled: puts
    // everything on disk, and the recording goes on.
    void commitData();

public slots:
    void newDevice();
    void addButton();
    void readSettings();
    void closeEvent(QCloseEvent *event) override;
    void editButton();
    void connectDevice();
    void deleteDevice();
    void renameDevice();
    void startServiceDiscovery();
    void disconnect();
    void foundService(const QBluetoothUuid &uuid);
    void changedState(QLowEnergyService::ServiceState state);
    void changedCharacteristic(const QLowEnergyCharacteristic &characteristic,
                               const QByteArray &value);
    void endConnection();
    void addSeriesToList();
    void deleteMeasureFromLists(int measure);
    void createMeasureOverview(int measure);
    void createCSV();
    void showLoading();
    void destroyLoading();
    void settingsWindow();
    void reverseDarkMode(bool dark);
    void reverseTovik(bool on);
    void darkModeOnStart();
    void changeMeasureName(int measure, const QString &name);
    void test();
    void openLanguageScreen();
    void translateText(int newLanguage);

protected:
    bool event(QEvent *event) override;

private:
    bool writeSettings();
    void keep(Change::Kind kind, const QBluetoothDeviceInfo &meter, const QString &text = {},
        int measure = -1);
    void keepOptions();
    void tellWhatStartUpFound();
    void tellLinkGivenUp();
    void warnSavingFailed(const QString &fileName);
    void applyTheme();
    void colourRows();
    void releaseLink();
    bool linkedTo(int row) const;
    void disposeOverview();

    std::unique_ptr<Ui::MainWindow> ui;
    QList<QStringList> texts;
    int language;
    bool darkMode;
    int currentDevice = -1;
    int currentMeasure = -1;
    MeterRecords records;
    // Before the screens and the link, so it outlives anything that may still change a record.
    StoreWriter writer;
    // What reading the store and its journal found, told once the window shows.
    Journal::Opened startUp;
    bool paintedBefore = false;
    // The screens last opened; opening a new one releases the one before, which is closed by
    // then since every screen is modal.
    std::unique_ptr<newDeviceScreen> newScreen;
    std::unique_ptr<loadingScreen> loading;
    // The recording of the live screen last opened, which outlives the screen.
    std::unique_ptr<Recording> recording;
    std::unique_ptr<connectionScreen> connScreen;
    std::unique_ptr<deviceOverviewScreen> overviewScreen;
    std::unique_ptr<measureOverview> measureScreen;
    std::unique_ptr<settingsScreen> settingsDialog;
    std::unique_ptr<languageScreen> languageDialog;

    // The one link being made or up, a child of this window; none before the first connect
    // and after a link has ended.
    MeterLink *link = nullptr;

    friend class MainWindowTest;
};
