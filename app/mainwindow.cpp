#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "store/csvexport.h"
#include "store/store.h"
#include "link/adapter.h"
#include "link/loadingscreen.h"
#include "link/meterlink.h"
#include "link/newdevicescreen.h"
#include "live/connectionscreen.h"
#include "live/recording.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/languagescreen.h"
#include "screens/measureoverview.h"
#include "screens/settingsscreen.h"
#include "system/notifications.h"
#include "ui/theme.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLineSeries>
#include <QDebug>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

namespace {

// Said when the store could not be written on close, or a change in the background; not part
// of the window's own table.
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
// The same, short, for the desktop's notification.
const QString writeFailedText[2] = {
    QStringLiteral("Kalvion konnte nicht in %1 schreiben. Solange die Anwendung geöffnet bleibt, "
                   "geht nichts verloren."),
    QStringLiteral("Kalvion could not write to %1. As long as the application stays open, nothing "
                   "is lost."),
};
const QString changesFailedText[2] = {
    QStringLiteral("Ihre letzten Änderungen konnten nicht gespeichert werden:\n%1\n\nBitte "
                   "prüfen Sie, ob der Ordner beschreibbar ist und genug Speicherplatz frei ist. "
                   "Kalvion versucht es bei jeder weiteren Änderung erneut; solange die Anwendung "
                   "geöffnet bleibt, geht nichts verloren."),
    QStringLiteral("Your latest changes could not be saved:\n%1\n\nPlease check that the folder "
                   "is writable and that there is enough free disk space. Kalvion tries again "
                   "with every further change; as long as the application stays open, nothing is "
                   "lost."),
};

// Said at start when a recording was kept that the last run never saved.
const QString recoveredTitle[2] = {
    QStringLiteral("Aufzeichnung wiederhergestellt"),
    QStringLiteral("Recording recovered"),
};
const QString recoveredText[2] = {
    QStringLiteral("Kalvion wurde während einer Aufzeichnung von „%1“ beendet. Die Aufzeichnung "
                   "(%2) wurde als Messung gespeichert. Sie finden sie im Startbildschirm unter "
                   "Verwalten."),
    QStringLiteral("Kalvion ended while recording from \"%1\". The recording (%2) has been saved "
                   "as a measurement. You can find it in the home screen under Edit."),
};
const QString pointCount[2][2] = {
    { QStringLiteral("1 Messpunkt"), QStringLiteral("%1 Messpunkte") },
    { QStringLiteral("1 point"), QStringLiteral("%1 points") },
};

// Said at start when the journal of the last changes could not be used in full.
const QString setAsideTitle[2] = {
    QStringLiteral("Änderungsprotokoll beschädigt"),
    QStringLiteral("Change log damaged"),
};
const QString unreadableText[2] = {
    QStringLiteral("Das Protokoll Ihrer letzten Änderungen konnte nicht gelesen werden. Es wurde "
                   "beiseitegelegt unter:\n%1\n\nIhre Geräte und Messungen sind so geladen, wie "
                   "sie zuletzt vollständig gespeichert wurden."),
    QStringLiteral("The log of your latest changes could not be read. It has been set aside "
                   "as:\n%1\n\nYour devices and measurements are loaded as they were last saved "
                   "in full."),
};
const QString damagedText[2] = {
    QStringLiteral("Das Protokoll Ihrer letzten Änderungen ist beschädigt. Alle Änderungen bis "
                   "zur beschädigten Stelle sind geladen; eine Kopie des Protokolls liegt "
                   "unter:\n%1"),
    QStringLiteral("The log of your latest changes is damaged. All changes up to the damaged part "
                   "are loaded; a copy of the log has been kept as:\n%1"),
};

// Said when the link to a meter was given up during a recording.
const QString linkGivenUpTitle[2] = {
    QStringLiteral("Verbindung verloren"),
    QStringLiteral("Connection lost"),
};
const QString linkGivenUpText[2] = {
    QStringLiteral("Die Verbindung zu „%1“ kam nicht wieder zustande. Die Aufzeichnung (%2) ist "
                   "gespeichert."),
    QStringLiteral("The connection to \"%1\" could not be made again. The recording (%2) has been "
                   "saved."),
};

// Said when a CSV file could not be written where the user chose.
const QString exportFailedText[2] = {
    QStringLiteral("Die Datei konnte nicht geschrieben werden:\n%1\n\nBitte wählen Sie einen "
                   "anderen Ort."),
    QStringLiteral("The file could not be written:\n%1\n\nPlease choose another place."),
};

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), ui(new Ui::MainWindow),
      writer(Store::fileName(),
          [this] { return Store::snapshot(Options{ darkMode, tovik, language }, records); })
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
        "File creation Error",
        "Please choose a file name!",
        "Do you really want to close the application?\n",
    };
    texts = {german, english};
    language = 0;
    darkMode = true;
    tovik = true;

    ui->setupUi(this);
    setFixedSize(498, 800);
    ui->kalvionBanner->setPixmap(QPixmap(":/image/banner.png"));
    setWindowTitle("KalvionApp");

    connect(ui->newDeviceButton, &QPushButton::clicked, this, &MainWindow::newDevice);
    connect(ui->deviceList, &QListWidget::itemDoubleClicked, this, &MainWindow::connectDevice);
    connect(ui->connectButton, &QPushButton::clicked, this, &MainWindow::connectDevice);
    connect(ui->editButton, &QPushButton::clicked, this, &MainWindow::editButton);
    connect(ui->settingsButton, &QPushButton::clicked, this, &MainWindow::settingsWindow);
    connect(&writer, &StoreWriter::failed, this, &MainWindow::warnSavingFailed);
    // Row i of the list is meter i, with its label.
    connect(&records, &MeterRecords::meterAdded, this, [this](int i) {
        auto *row = new QListWidgetItem(records.label(i));
        Theme::colourItem(row, darkMode);
        ui->deviceList->insertItem(i, row);
    });
    connect(&records, &MeterRecords::meterRemoved, this,
        [this](int i) { delete ui->deviceList->takeItem(i); });
    connect(&records, &MeterRecords::meterRelabelled, this,
        [this](int i) { ui->deviceList->item(i)->setText(records.label(i)); });

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
    if (records.contains(candidate)) {
        QMessageBox::warning(this, texts[language][4], texts[language][5]);
        return;
    }
    records.addMeter(Meter(candidate, newScreen->selectedName));
    keep(Change::AddMeter, candidate, newScreen->selectedName);
}

void MainWindow::readSettings()
{
    Store::Snapshot stored = Store::read(Store::fileName());
    Options &options = stored.options;
    for (Meter &meter : stored.meters)
        records.addMeter(std::move(meter));
    startUp = writer.open(records, options);
    darkMode = options.darkMode;
    tovik = options.tovik;
    language = options.language;
    colourRows();
    // What the journal added reaches the store in the background.
    if (startUp.replayed > 0)
        writer.checkpoint();
}

// Told once the window is on the screen where the desktop put it, so the box sits over it.
bool MainWindow::event(QEvent *event)
{
    if (event->type() == QEvent::Paint && !paintedBefore) {
        paintedBefore = true;
        QTimer::singleShot(0, this, &MainWindow::tellWhatStartUpFound);
    }
    return QMainWindow::event(event);
}

// One box for all that start-up found, in the stored language.
void MainWindow::tellWhatStartUpFound()
{
    QStringList said;
    for (const Journal::Recovered &recording : std::as_const(startUp.recovered)) {
        const QString points = recording.points == 1
            ? pointCount[language][0]
            : pointCount[language][1].arg(recording.points);
        said.append(recoveredText[language].arg(recording.label, points));
    }
    if (!startUp.setAside.isEmpty()) {
        const QString *text = startUp.readInPart ? damagedText : unreadableText;
        said.append(text[language].arg(startUp.setAside));
    }
    if (said.isEmpty())
        return;
    const bool recovered = !startUp.recovered.isEmpty();
    const QString title = recovered ? recoveredTitle[language] : setAsideTitle[language];
    if (recovered)
        Notifications::send(title, said.first(startUp.recovered.size()).join("\n\n"));
    QMessageBox::warning(this, title, said.join("\n\n"));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const auto answer = QMessageBox::question(
            this, "Kalvion", texts[language][17],
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
    if (writer.saveNow())
        return true;
    QMessageBox::warning(
        this, storeFailedTitle[language], storeFailedText[language].arg(Store::fileName()));
    return false;
}

// Every change reaches the disk on its own, since the session may end without the close
// question.
void MainWindow::keep(
    Change::Kind kind, const QBluetoothDeviceInfo &meter, const QString &text, int measure)
{
    writer.keep({ kind, meter, text, measure, {} });
}

void MainWindow::keepOptions()
{
    writer.keep({ Change::SetOptions, {}, {}, -1, Options{ darkMode, tovik, language } });
}

// Modal, so it can be answered over any modal screen, but not waited for: a recording goes on
// behind it.
void MainWindow::warnSavingFailed(const QString &fileName)
{
    Notifications::send(storeFailedTitle[language], writeFailedText[language].arg(fileName));
    auto *box = new QMessageBox(QMessageBox::Warning, storeFailedTitle[language],
                                changesFailedText[language].arg(fileName), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

bool MainWindow::endSession()
{
    // No box can wait for an answer now, so the live screen's own save, which shows one, is
    // not used. A screen hidden behind its own box still records; one the user closed has
    // dropped its recording.
    if (recording && recording->hasUnsavedPoints())
        recording->save();
    return writer.settle();
}

void MainWindow::commitData()
{
    writer.settle();
}

void MainWindow::editButton()
{
    QListWidgetItem *current = ui->deviceList->currentItem();
    if (!current) {
        QMessageBox::warning(this, texts[language][6], texts[language][10]);
        return;
    }
    currentDevice = ui->deviceList->row(current);
    overviewScreen = std::make_unique<deviceOverviewScreen>(language);
    overviewScreen->setName(current->text());
    for (const QString &name : records.meter(currentDevice).measureNames)
        overviewScreen->setCurrentElement(name);
    overviewScreen->setDarkMode(darkMode);
    overviewScreen->isDarkMode = darkMode;
    connect(overviewScreen.get(), &deviceOverviewScreen::deletePressed, this,
            &MainWindow::deleteDevice);
    connect(overviewScreen.get(), &deviceOverviewScreen::renamePressed, this,
            &MainWindow::renameDevice);
    connect(overviewScreen.get(), &deviceOverviewScreen::measureDeleted, this,
            &MainWindow::deleteMeasureFromLists);
    connect(overviewScreen.get(), &deviceOverviewScreen::openMeasures, this,
            &MainWindow::createMeasureOverview);
    connect(overviewScreen.get(), &deviceOverviewScreen::measureNameChanged, this,
            &MainWindow::changeMeasureName);
    overviewScreen->setModal(true);
    overviewScreen->show();
}

void MainWindow::connectDevice()
{
    QListWidgetItem *current = ui->deviceList->currentItem();
    if (!current) {
        QMessageBox::warning(this, texts[language][6], texts[language][7]);
        return;
    }
    currentDevice = ui->deviceList->row(current);
    // Pressed again for the meter a link is being made to, the attempt goes on: BlueZ would
    // report the abandoned attempt's disconnect to a new one for the same meter as a loss.
    if (link && link->isBeingMade() && linkedTo(currentDevice))
        return;
    // A link still being made to another meter is abandoned for this one; the live screen of
    // an earlier link closed when that link ended.
    releaseLink();
    connScreen.reset();
    recording.reset();
    link = new MeterLink(records.meter(currentDevice).device, this);
    connect(link, &MeterLink::connected, this, &MainWindow::startServiceDiscovery);
    connect(link, &MeterLink::disconnected, this, &MainWindow::disconnect);
    connect(link, &MeterLink::serviceDiscovered, this, &MainWindow::foundService);
    connect(link, &MeterLink::serviceStateChanged, this, &MainWindow::changedState);
    connect(link, &MeterLink::characteristicChanged, this, &MainWindow::changedCharacteristic);
    connect(link, &MeterLink::reconnecting, this,
        [this](bool bluetoothOff) { connScreen->showLinkLost(bluetoothOff); });
    connect(link, &MeterLink::unavailable, this, [this] {
        QMessageBox::warning(
            this, Adapter::unavailableTitle(language), Adapter::unavailableText(language));
    });
    link->open();
}

// Ends the current link for good and closes its live screen; nothing either reports from now
// on reaches this window, not even a report already queued. This may run inside the link's own
// report, so the link goes once control is back in the event loop, and the screen, whose box
// may be open, at the next connect.
void MainWindow::releaseLink()
{
    if (connScreen) {
        QObject::disconnect(connScreen.get(), nullptr, this, nullptr);
        recording->end();
        connScreen->close();
    }
    if (!link)
        return;
    QObject::disconnect(link, nullptr, this, nullptr);
    QCoreApplication::removePostedEvents(link);
    link->end();
    link->deleteLater();
    link = nullptr;
}

bool MainWindow::linkedTo(int row) const
{
    return link && records.find(link->meter()) == row;
}

void MainWindow::deleteDevice()
{
    const auto answer = QMessageBox::question(
            this, "Kalvion", texts[language][11],
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer != QMessageBox::Yes)
        return;
    // No live screen may open for a meter that is gone, nor save into it.
    if (linkedTo(currentDevice))
        releaseLink();
    const QBluetoothDeviceInfo meter = records.meter(currentDevice).device;
    records.removeMeter(currentDevice);
    keep(Change::RemoveMeter, meter);
    disposeOverview();
}

void MainWindow::renameDevice()
{
    const QString label = QInputDialog::getText(this, texts[language][12], texts[language][13]);
    if (label.isEmpty())
        return;
    records.relabel(currentDevice, label);
    keep(Change::RelabelMeter, records.meter(currentDevice).device, label);
    disposeOverview();
}

// The screen is still inside the click that led here.
void MainWindow::disposeOverview()
{
    if (overviewScreen)
        overviewScreen.release()->deleteLater();
}

void MainWindow::startServiceDiscovery()
{
    // A link made again after a loss goes on in the live screen that stayed open.
    if (!connScreen) {
        recording = std::make_unique<Recording>(link->meter());
        recording->keepIn(records, writer, language);
        connScreen = std::make_unique<connectionScreen>(language, recording.get());
        connScreen->setDarkMode(darkMode);
        connScreen->isDarkMode = darkMode;
        connScreen->setModal(true);
        connScreen->show();
        connect(connScreen.get(), &connectionScreen::endConnection, this,
                &MainWindow::endConnection);
        connect(connScreen.get(), &connectionScreen::saveMeasure, this,
                &MainWindow::addSeriesToList);
    }
    link->discoverServices();
}

void MainWindow::disconnect()
{
    // A recording with something to lose gets time for its meter to come back: the live screen
    // stays open and says so at each try, and the link is made again.
    if (recording && !link->endedByUser() && !link->gaveUp()
        && (recording->isRunning() || recording->hasUnsavedPoints())) {
        recording->linkLost();
        link->reconnect();
        return;
    }
    if (recording && link->gaveUp())
        tellLinkGivenUp();
    QMessageBox::warning(this, texts[language][8], texts[language][9]);
    releaseLink();
}

// A meter that ran flat or stayed out of reach must not take the unsaved recording with it. The
// user may be away: the desktop tells of it at once, while the boxes wait to be answered.
void MainWindow::tellLinkGivenUp()
{
    const bool unsaved = recording->hasUnsavedPoints();
    recording->giveUp();
    const int count = recording->savedPoints();
    const QString points = count == 1 ? pointCount[language][0] : pointCount[language][1].arg(count);
    Notifications::send(
        linkGivenUpTitle[language], linkGivenUpText[language].arg(recording->label(), points));
    if (unsaved)
        connScreen->tellSaved();
}

void MainWindow::foundService(const QBluetoothUuid &uuid)
{
    link->useService(uuid);
}

void MainWindow::changedState(QLowEnergyService::ServiceState state)
{
    if (state == QLowEnergyService::RemoteServiceDiscovered)
        link->switchOnNotifications();
}

void MainWindow::changedCharacteristic(const QLowEnergyCharacteristic &, const QByteArray &value)
{
    connScreen->receivedData = value.toHex();
    emit connScreen->dataChanged();
}

// The screen has ended its recording by then.
void MainWindow::endConnection()
{
    link->end();
}

void MainWindow::addSeriesToList()
{
    recording->save();
}

void MainWindow::deleteMeasureFromLists(int measure)
{
    currentMeasure = measure;
    records.removeMeasurement(currentDevice, measure);
    keep(Change::RemoveMeasurement, records.meter(currentDevice).device, {}, measure);
}

void MainWindow::createMeasureOverview(int measure)
{
    currentMeasure = measure;
    const Measurement shown = records.measurement(currentDevice, measure);
    measureScreen = std::make_unique<measureOverview>(language);
    // Drawn from the stored points themselves, shared, not copied.
    measureScreen->series->replace(shown.points());
    measureScreen->setAddress(records.meter(currentDevice).device.address().toString());
    // Only a store written elsewhere holds a measurement without a first point to describe.
    if (shown.size() > 0) {
        measureScreen->setTimestamp(shown.timestamp(0));
        measureScreen->setSettings(shown.settings(0));
        measureScreen->setUnit(QString(shown.unit(0)).remove('?'));
    }
    measureScreen->setMeasurement(shown);
    measureScreen->setupGraph();
    measureScreen->setDarkMode(darkMode);
    measureScreen->isDarkMode = darkMode;
    measureScreen->setModal(true);
    measureScreen->show();
    connect(measureScreen.get(), &measureOverview::csvPressed, this, &MainWindow::createCSV);
}

void MainWindow::createCSV()
{
    const QStringList &t = texts[language];
    const QString fileName = QFileDialog::getSaveFileName(this, t[14], "test.csv", "*.csv");
    if (fileName.isEmpty()) {
        QMessageBox::warning(this, t[15], t[16]);
        return;
    }
    if (!Csv::save(fileName, records.measurement(currentDevice, currentMeasure),
            records.meter(currentDevice).device.address().toString(), Csv::heads(language))) {
        // Without a word the user could take the missing confirmation for a slow disk and
        // delete a measurement that was never exported.
        QMessageBox::warning(this, t[15], exportFailedText[language].arg(fileName));
        return;
    }
    if (measureScreen)
        measureScreen->csvWritten = true;
}

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

void MainWindow::settingsWindow()
{
    settingsDialog = std::make_unique<settingsScreen>(language);
    connect(settingsDialog.get(), &settingsScreen::changeDarkMode, this,
            &MainWindow::reverseDarkMode);
    connect(settingsDialog.get(), &settingsScreen::changeTovik, this, &MainWindow::reverseTovik);
    connect(settingsDialog.get(), &settingsScreen::showLanguageScreen, this,
            &MainWindow::openLanguageScreen);
    settingsDialog->setDarkModeAndTovik(darkMode, tovik);
    settingsDialog->isDarkMode = darkMode;
    settingsDialog->isTovik = tovik;
    settingsDialog->setModal(true);
    settingsDialog->show();
}

void MainWindow::reverseDarkMode(bool dark)
{
    darkMode = dark;
    applyTheme();
    colourRows();
    keepOptions();
}

void MainWindow::reverseTovik(bool on)
{
    tovik = on;
    keepOptions();
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

void MainWindow::colourRows()
{
    for (int i = 0; i < ui->deviceList->count(); ++i)
        Theme::colourItem(ui->deviceList->item(i), darkMode);
}

void MainWindow::changeMeasureName(int measure, const QString &name)
{
    records.renameMeasurement(currentDevice, measure, name);
    keep(Change::RenameMeasurement, records.meter(currentDevice).device, name, measure);
}

void MainWindow::test()
{
    qDebug() << "it works";
}

void MainWindow::openLanguageScreen()
{
    languageDialog = std::make_unique<languageScreen>();
    connect(languageDialog.get(), &languageScreen::changeLanguage, this,
            &MainWindow::translateText);
    connect(languageDialog.get(), &languageScreen::changeLanguage, this, &MainWindow::keepOptions);
    languageDialog->setDarkMode(darkMode);
    languageDialog->setModal(true);
    languageDialog->show();
}

void MainWindow::translateText(int newLanguage)
{
    language = newLanguage == 1 ? 1 : 0;
    ui->settingsButton->setText(texts[language][0]);
    ui->newDeviceButton->setText(texts[language][1]);
    ui->connectButton->setText(texts[language][2]);
    ui->editButton->setText(texts[language][3]);
}
