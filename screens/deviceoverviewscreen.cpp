#include "screens/deviceoverviewscreen.h"
#include "ui_deviceoverviewscreen.h"

#include "ui/screenbox.h"
#include "ui/theme.h"

deviceOverviewScreen::deviceOverviewScreen(int language, QWidget *parent)
    : QDialog(parent), ui(new Ui::deviceOverviewScreen), language(language == 1 ? 1 : 0)
{
    const QStringList german = {
        "Umbenennen",
        "Löschen",
        "Einsehen",
        "Messgerät:",
        "Messungen",
        "Messung umbenennen",
        "Neuer Name:",
        "Keine Messreihe ausgewählt",
        "Bitte wählen Sie erst eine Messreihe aus, die Sie umbenennen möchten!",
        "Wollen Sie die Messreihe wirklich löschen?\n",
        "Bitte wählen Sie erst eine Messreihe aus, die Sie löschen möchten!",
        "Bitte wählen Sie erst eine Messreihe aus, die Sie einsehen möchten!",
    };
    const QStringList english = {
        "Rename",
        "Delete",
        "Details",
        "Measuring device",
        "Measurements",
        "Rename measurement",
        "New name:",
        "No measurement selected",
        "Please select a measurement which you want to rename",
        "Do you really want to delete the measurement?\n",
        "Please select a measurement which you want to delete!",
        "Please select a measurement which you want to look into",
    };
    texts = {german, english};

    ui->setupUi(this);
    connect(ui->renameButton, &QPushButton::clicked, this, &deviceOverviewScreen::renameDevice);
    connect(ui->deleteButton, &QPushButton::clicked, this, &deviceOverviewScreen::deleteDevice);
    connect(ui->measureList, &QListWidget::itemDoubleClicked, this,
            &deviceOverviewScreen::openMeasureOverview);
    connect(ui->openMeasureButton, &QPushButton::clicked, this,
            &deviceOverviewScreen::openMeasureOverview);
    connect(ui->measureRenameButton, &QPushButton::clicked, this,
            &deviceOverviewScreen::renameMeasure);
    connect(ui->deleteMeasureButton, &QPushButton::clicked, this,
            &deviceOverviewScreen::deleteMeasure);
    const QStringList &t = texts[this->language];
    ui->renameButton->setText(t[0]);
    ui->measureRenameButton->setText(t[0]);
    ui->deleteButton->setText(t[1]);
    ui->deleteMeasureButton->setText(t[1]);
    ui->openMeasureButton->setText(t[2]);
    ui->nameLabel->setText(t[3]);
    ui->measureLabel->setText(t[4]);
    setWindowTitle("KalvionApp");
    setFixedSize(400, 550);
}

deviceOverviewScreen::~deviceOverviewScreen() = default;

void deviceOverviewScreen::renameDevice()
{
    emit renamePressed();
}

void deviceOverviewScreen::deleteDevice()
{
    emit deletePressed();
}

void deviceOverviewScreen::deleteMeasure()
{
    QListWidgetItem *current = ui->measureList->currentItem();
    if (!current) {
        warnOverScreen(this, isDarkMode, texts[language][7], texts[language][10]);
        return;
    }
    if (!confirmOverScreen(this, isDarkMode, texts[language][9]))
        return;
    // The main window drops the same index, so the rows and its records stay in step.
    emit measureDeleted(ui->measureList->row(current));
    delete current;
}

void deviceOverviewScreen::openMeasureOverview()
{
    QListWidgetItem *current = ui->measureList->currentItem();
    if (!current) {
        warnOverScreen(this, isDarkMode, texts[language][7], texts[language][11]);
        return;
    }
    emit openMeasures(ui->measureList->row(current));
}

void deviceOverviewScreen::renameMeasure()
{
    QListWidgetItem *current = ui->measureList->currentItem();
    if (!current) {
        warnOverScreen(this, isDarkMode, texts[language][7], texts[language][8]);
        return;
    }
    const QString name = askOverScreen(this, isDarkMode, texts[language][5], texts[language][6],
                                       current->text());
    if (name.isEmpty())
        return;
    current->setText(name);
    emit measureNameChanged(ui->measureList->row(current), name);
}

void deviceOverviewScreen::setName(const QString &name)
{
    ui->nameForm->setText(name);
}

void deviceOverviewScreen::setCurrentElement(const QString &name)
{
    ui->measureList->addItem(name);
}

void deviceOverviewScreen::setDarkMode(bool dark)
{
    setStyleSheet(Theme::pageStyle(dark));
    for (QPushButton *button : {ui->deleteButton, ui->deleteMeasureButton, ui->openMeasureButton,
                                ui->renameButton, ui->measureRenameButton})
        button->setStyleSheet(Theme::buttonStyle(dark));
    for (QLabel *label : {ui->measureLabel, ui->nameLabel, ui->nameForm})
        label->setStyleSheet(Theme::textStyle(dark));
    ui->line->setStyleSheet(Theme::contrastStyle(dark));
    for (int r = 0; r < ui->measureList->count(); ++r)
        Theme::colourItem(ui->measureList->item(r), dark);
}
