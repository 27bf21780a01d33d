#include "link/newdevicescreen.h"
#include "ui_newdevicescreen.h"

#include "link/adapter.h"
#include "link/search.h"
#include "ui/screenbox.h"
#include "ui/theme.h"

#include <QBluetoothDeviceDiscoveryAgent>

newDeviceScreen::newDeviceScreen(int language, QWidget *parent)
    : QDialog(parent), ui(new Ui::newDeviceScreen), language(language == 1 ? 1 : 0)
{
    const QStringList german = {
        "Hinzufügen",
        "Suchen",
        "Abbrechen",
        "Kein Gerät gefunden",
        "Kein Gerät ausgewählt",
        "Bitte wählen Sie erst ein Gerät aus, das Sie hinzufügen wollen!",
    };
    const QStringList english = {
        "Add",
        "Search",
        "Cancel",
        "No device found!",
        "No device selected",
        "Please choose a device which you want to add!",
    };
    texts = {german, english};

    ui->setupUi(this);
    connect(ui->confirmButton, &QPushButton::clicked, this, &newDeviceScreen::clickConfirm);
    connect(ui->searchButton, &QPushButton::clicked, this, &newDeviceScreen::clickSearch);
    connect(ui->cancelButton, &QPushButton::clicked, this, &newDeviceScreen::clickCancel);
    ui->confirmButton->setText(texts[this->language][0]);
    ui->searchButton->setText(texts[this->language][1]);
    ui->cancelButton->setText(texts[this->language][2]);
    ui->noDeviceFoundLabel->setText(texts[this->language][3]);
    ui->noDeviceFoundLabel->hide();
    setWindowTitle("KalvionApp");
    setFixedSize(400, 391);
}

newDeviceScreen::~newDeviceScreen() = default;

void newDeviceScreen::setDarkMode(bool dark)
{
    setStyleSheet(Theme::pageStyle(dark));
    ui->cancelButton->setStyleSheet(Theme::buttonStyle(dark));
    ui->confirmButton->setStyleSheet(Theme::buttonStyle(dark));
    ui->searchButton->setStyleSheet(Theme::buttonStyle(dark));
    ui->noDeviceFoundLabel->setStyleSheet(Theme::textStyle(dark));
}

void newDeviceScreen::clickCancel()
{
    close();
}

void newDeviceScreen::clickConfirm()
{
    QListWidgetItem *current = ui->blootoothList->currentItem();
    if (!current) {
        warnOverScreen(this, isDarkMode, texts[language][4], texts[language][5]);
        return;
    }
    selectedName = current->text();
    close();
    emit confirmPressed();
}

void newDeviceScreen::clickSearch()
{
    auto *agent = new QBluetoothDeviceDiscoveryAgent(this);
    connect(agent, &QBluetoothDeviceDiscoveryAgent::deviceDiscovered, this,
            &newDeviceScreen::addDeviceToList);
    agent->setLowEnergyDiscoveryTimeout(Search::timeout);
    // Without an adapter, or with it switched off, the search fails instead of finishing, and
    // it may fail inside start(): the spinner is therefore opened before starting, and a
    // failure ends the search once, with a word on what is missing when that is why.
    connect(agent, &QBluetoothDeviceDiscoveryAgent::finished, this, [this, agent] {
        agent->disconnect(this);
        discoveryFinished();
    });
    connect(agent, &QBluetoothDeviceDiscoveryAgent::errorOccurred, this, [this, agent] {
        agent->disconnect(this);
        if (!Adapter::unavailable()) {
            discoveryFinished();
            return;
        }
        emit finishedDiscovery();
        // Queued: the failure may come inside start(), before the spinner is up.
        QMetaObject::invokeMethod(this, [this] {
            warnOverScreen(this, isDarkMode, Adapter::unavailableTitle(language),
                Adapter::unavailableText(language));
        }, Qt::QueuedConnection);
    });
    emit startedDiscovery();
    ui->noDeviceFoundLabel->hide();
    agent->start(QBluetoothDeviceDiscoveryAgent::LowEnergyMethod);
}

void newDeviceScreen::addDeviceToList(const QBluetoothDeviceInfo &info)
{
    if (!Search::isMeter(info))
        return;
    for (int r = 0; r < ui->blootoothList->count(); ++r) {
        if (ui->blootoothList->item(r)->text() == info.name())
            return;
    }
    foundDevice = info;
    auto *item = new QListWidgetItem(info.name());
    Theme::colourItem(item, isDarkMode);
    ui->blootoothList->addItem(item);
}

void newDeviceScreen::discoveryFinished()
{
    emit finishedDiscovery();
    if (ui->blootoothList->count() == 0)
        ui->noDeviceFoundLabel->show();
}
