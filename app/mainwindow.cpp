#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/store.h"
#include "link/loadingscreen.h"
#include "link/newdevicescreen.h"
#include "live/connectionscreen.h"
#include "ui/theme.h"

#include <QBluetoothDeviceDiscoveryAgent>
#include <QCloseEvent>
#include <QLineSeries>
#include <QDebug>
#include <QMessageBox>
#include <QPixmap>
#include <QSettings>

namespace {

// Said when the store could not be written on close; not part of the window's own table.
const QString storeFailedTitle[2] = {
    QStringLiteral("Speichern fehlgeschlagen"),
    QStringLiteral("Saving failed"),
};
const QString storeFailedText[2] = {
    QStringLiteral("Ihre Geräte und Messungen konnten nicht gespeichert werden:\n%1\n\nBitte prüfen "
                   "Sie, ob der Ordner beschreibbar ist und genug Speicherplatz frei ist, und "
                   "schließen Sie die Anwendung dann erneut. Bis dahin bleibt alles erhalten."),
    QStringLiteral("Your devices and measurements could not be saved:\n%1\n\nPlease check that the "
                   "folder is writable and that there is enough free disk space, then close the "
                   "application again. Until then nothing is lost."),
};

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    const QStringList german = {
        "Menü",
        "Neues Gerät hinzufügen",
        "Verbinden",
        "Verwalten",
        "Gerät bereits gespeichert",
        "Dieses Gerät ist bereits Teil der gespeicherten Geräte!",
        "Kein Gerät ausgewählt",
        "Bitte wählen Sie erst ein Gerät aus, mit dem Sie verbinden wollen!",
        "Keine Verbindung",
        "Die Verbindung zum Gerät wurde getrennt!",
        "Bitte wählen Sie erst ein Gerät aus, das Sie verwalten möchten!",
        "Wollen Sie das Gerät wirklich löschen?\n",
        "Gerät umbenennen",
        "Neuer Gerätename:",
        "CSV-Datei speichern",
        "Messung",
        "Gerät:",
        "Einstellungen:",
        "Messwert",
        "Einheit",
        "Zeit",
        "Fehler beim Erstellen der Datei",
        "Bitte Filenamen wählen!",
        "Wollen Sie die Anwendung wirklich schließen?\n",
    };
    const QStringList english = {
        "Menu",
        "Add new device",
        "Connect",
        "Edit",
        "Device already saved",
        "This device is already part of saved devices!",
        "No device selected",
        "Please select a device which you want to connect to!",
        "No connection",
        "Device disconnected!",
        "Please choose a device which you want to edit!",
        "Do you really want to delete the device?\n",
        "Rename device",
        "New device name:",
        "Save CSV file",
        "Measurement",
        "Device:",
        "Settings:",
        "Data",
        "Unit",
        "Time",
        "File creation Error",
        "Please choose a file name!",
        "Do you really want to close the application?\n",
    };
    texts = {german, english};
    language = 0;
    darkMode = true;
    tovik = true;

    ui->setupUi(this);
    records = std::make_unique<MeterRecords>(ui->deviceList);
    setFixedSize(498, 800);
    ui->kalvionBanner->setPixmap(QPixmap(":/image/banner.png"));
    setWindowTitle("KalvionApp");

    connect(ui->newDeviceButton, &QPushButton::clicked, this, &MainWindow::newDevice);
    connect(ui->deviceList, &QListWidget::itemDoubleClicked, this, &MainWindow::connectDevice);
    connect(ui->connectButton, &QPushButton::clicked, this, &MainWindow::connectDevice);
    connect(ui->editButton, &QPushButton::clicked, this, &MainWindow::editButton);
    connect(ui->settingsButton, &QPushButton::clicked, this, &MainWindow::settingsWindow);

    readSettings();
    darkModeOnStart();
    translateText(language);
}

MainWindow::~MainWindow() = default;

void MainWindow::newDevice()
{
    newScreen = std::make_unique<newDeviceScreen>(language);
    newScreen->setDarkMode(darkMode);
    newScreen->isDarkMode = darkMode;
    connect(newScreen.get(), &newDeviceScreen::confirmPressed, this, &MainWindow::addButton);
    connect(newScreen.get(), &newDeviceScreen::startedDiscovery, this, &MainWindow::showLoading);
    connect(newScreen.get(), &newDeviceScreen::finishedDiscovery, this,
            &MainWindow::destroyLoading);
    newScreen->setModal(true);
    newScreen->show();
}

void MainWindow::addButton()
{
    const QBluetoothDeviceInfo &found = newScreen->foundDevice;
    const QBluetoothDeviceInfo candidate(found.address(), found.name(), 0);
    if (records->contains(candidate)) {
        QMessageBox::warning(this, texts[language][4], texts[language][5]);
        return;
    }
    records->addMeter(Meter(candidate), newScreen->selectedName, darkMode);
}

void MainWindow::readSettings()
{
    QSettings settings("Orvu", "Kalvion");
    Options options;
    Store::read(settings, options, *records);
    darkMode = options.darkMode;
    tovik = options.tovik;
    language = options.language;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const auto answer = QMessageBox::question(
            this, "Kalvion", texts[language][23],
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    if (!writeSettings()) {
        // Quitting now would throw away the whole run's measurements; stay open so the user
        // can make room and close again.
        event->ignore();
        return;
    }
    event->accept();
}

bool MainWindow::writeSettings()
{
    QSettings settings("Orvu", "Kalvion");
    Store::write(settings, Options{darkMode, tovik, language}, *records);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    QMessageBox::warning(this, storeFailedTitle[language],
                         storeFailedText[language].arg(settings.fileName()));
    return false;
}

void MainWindow::editButton() { }

void MainWindow::connectDevice()
{
    QListWidgetItem *current = ui->deviceList->currentItem();
    if (!current) {
        QMessageBox::warning(this, texts[language][6], texts[language][7]);
        return;
    }
    currentDevice = ui->deviceList->row(current);
    // The link and live screen before this one have ended; release them.
    rescan.reset();
    connScreen.reset();
    openLink(records->meter(currentDevice).device);
}

void MainWindow::openLink(const QBluetoothDeviceInfo &device)
{
    qDeleteAll(services);
    services.clear();
    controller.reset(QLowEnergyController::createCentral(
            QBluetoothDeviceInfo(device.address(), device.name(), 0)));
    endedByUser = false;
    connect(controller.get(), &QLowEnergyController::connected, this,
            &MainWindow::startServiceDiscovery);
    connect(controller.get(), &QLowEnergyController::disconnected, this, &MainWindow::disconnect);
    connect(controller.get(), &QLowEnergyController::serviceDiscovered, this,
            &MainWindow::foundService, Qt::QueuedConnection);
    connect(controller.get(), &QLowEnergyController::errorOccurred, this, &MainWindow::linkFailed);
    controller->connectToDevice();
}

void MainWindow::linkFailed(QLowEnergyController::Error error)
{
    // BlueZ forgets unpaired Low Energy devices after a while, and then refuses to connect to
    // a stored address at once. A short search makes it known again.
    if (error != QLowEnergyController::UnknownRemoteDeviceError || rescan)
        return;
    const QBluetoothAddress address = controller->remoteAddress();
    rescan = std::make_unique<QBluetoothDeviceDiscoveryAgent>();
    rescan->setLowEnergyDiscoveryTimeout(10000);
    const auto seen = [this, address](const QBluetoothDeviceInfo &info) {
        if (info.address() != address || !rescan->isActive())
            return;
        rescan->stop();
        openLink(records->meter(currentDevice).device);
    };
    // Queued: a device may be reported inside start(), and the failed controller is still
    // reporting its error here.
    connect(rescan.get(), &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this, seen,
            Qt::QueuedConnection);
    connect(rescan.get(), &QBluetoothDeviceDiscoveryAgent::deviceUpdated, this, seen,
            Qt::QueuedConnection);
    rescan->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
}

void MainWindow::deleteDevice() { }

void MainWindow::renameDevice() { }

void MainWindow::startServiceDiscovery()
{
    connScreen = std::make_unique<connectionScreen>(language);
    connScreen->setDarkMode(darkMode);
    connScreen->isDarkMode = darkMode;
    connScreen->setModal(true);
    connScreen->show();
    connect(connScreen.get(), &connectionScreen::endConnection, this, &MainWindow::endConnection);
    connect(connScreen.get(), &connectionScreen::saveMeasure, this, &MainWindow::addSeriesToList);
    controller->discoverServices();
}

void MainWindow::disconnect()
{
    // A meter that runs flat or out of range must not take the unsaved recording with it.
    if (connScreen && !endedByUser && connScreen->hasUnsavedPoints())
        connScreen->saveButton();
    QMessageBox::warning(this, texts[language][8], texts[language][9]);
    if (connScreen)
        connScreen->close();
    controller->disconnect();
    for (QLowEnergyService *s : std::as_const(services))
        s->disconnect();
    if (connScreen)
        connScreen->disconnect();
}

void MainWindow::foundService(const QBluetoothUuid &uuid)
{
    if (uuid == QBluetoothUuid(QBluetoothUuid::ServiceClassUuid::GenericAccess))
        return;
    QLowEnergyService *found = controller->createServiceObject(uuid, this);
    if (!found)
        return;
    services.append(found);
    connect(found, &QLowEnergyService::stateChanged, this, &MainWindow::changedState);
    connect(found, &QLowEnergyService::characteristicChanged, this,
            &MainWindow::changedCharacteristic);
    found->discoverDetails(QLowEnergyService::FullDiscovery);
}

void MainWindow::changedState(QLowEnergyService::ServiceState state)
{
    // The meter's services finish in any order, so act on the one that reported.
    auto *reporting = qobject_cast<QLowEnergyService *>(sender());
    if (state != QLowEnergyService::RemoteServiceDiscovered || !reporting)
        return;
    const QList<QLowEnergyCharacteristic> characteristics = reporting->characteristics();
    if (characteristics.isEmpty())
        return;
    const QLowEnergyDescriptor configuration = characteristics.first().descriptor(
            QBluetoothUuid::DescriptorType::ClientCharacteristicConfiguration);
    if (!configuration.isValid())
        return;
    notifyDescriptor = configuration;
    reporting->writeDescriptor(notifyDescriptor, QByteArray::fromHex("0100"));
}

void MainWindow::changedCharacteristic(const QLowEnergyCharacteristic &, const QByteArray &value)
{
    connScreen->receivedData = value.toHex();
    emit connScreen->dataChanged();
}

void MainWindow::endConnection()
{
    endedByUser = true;
    controller->disconnectFromDevice();
}

void MainWindow::addSeriesToList()
{
    records->addMeasurement(currentDevice, connScreen->timestampList.first(),
                            connScreen->measureSeries->points(), connScreen->timestampList,
                            connScreen->unitList, connScreen->settingsList);
}

void MainWindow::deleteMeasureFromLists(int) { }

void MainWindow::createMeasureOverview(int) { }

void MainWindow::createCSV() { }

void MainWindow::showLoading()
{
    loading = std::make_unique<loadingScreen>();
    loading->setModal(true);
    loading->show();
}

void MainWindow::destroyLoading()
{
    if (loading)
        loading->close();
}

void MainWindow::settingsWindow() { }

void MainWindow::reverseDarkMode(bool dark)
{
    darkMode = dark;
    applyTheme();
    records->recolour(darkMode);
}

void MainWindow::reverseTovik(bool on)
{
    tovik = on;
}

void MainWindow::darkModeOnStart()
{
    applyTheme();
}

void MainWindow::applyTheme()
{
    ui->centralwidget->setStyleSheet(Theme::pageStyle(darkMode));
    ui->connectButton->setStyleSheet(Theme::buttonStyle(darkMode));
    ui->editButton->setStyleSheet(Theme::buttonStyle(darkMode));
    ui->settingsButton->setStyleSheet(Theme::wideButtonStyle(darkMode));
    ui->newDeviceButton->setStyleSheet(Theme::wideButtonStyle(darkMode));
}

void MainWindow::changeMeasureName(int, const QString &) { }

void MainWindow::test()
{
    qDebug() << "it works";
}

void MainWindow::openLanguageScreen() { }

void MainWindow::translateText(int newLanguage)
{
    language = newLanguage == 1 ? 1 : 0;
    ui->settingsButton->setText(texts[language][0]);
    ui->newDeviceButton->setText(texts[language][1]);
    ui->connectButton->setText(texts[language][2]);
    ui->editButton->setText(texts[language][3]);
}
