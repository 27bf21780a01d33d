#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/store.h"
#include "link/loadingscreen.h"
#include "link/newdevicescreen.h"
#include "ui/theme.h"

#include <QCloseEvent>
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

void MainWindow::connectDevice() { }

void MainWindow::deleteDevice() { }

void MainWindow::renameDevice() { }

void MainWindow::startServiceDiscovery() { }

void MainWindow::disconnect() { }

void MainWindow::foundService(const QBluetoothUuid &) { }

void MainWindow::changedState(QLowEnergyService::ServiceState) { }

void MainWindow::changedCharacteristic(const QLowEnergyCharacteristic &, const QByteArray &) { }

void MainWindow::endConnection() { }

void MainWindow::addSeriesToList() { }

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
