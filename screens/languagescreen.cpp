#include "screens/languagescreen.h"
#include "ui_languagescreen.h"

#include "ui/theme.h"

languageScreen::languageScreen(QWidget *parent) : QDialog(parent), ui(new Ui::languageScreen)
{
    ui->setupUi(this);
    setWindowTitle("KalvionApp");
    setFixedSize(400, 155);
    connect(ui->germanButton, &QPushButton::clicked, this, &languageScreen::german);
    connect(ui->englishButton, &QPushButton::clicked, this, &languageScreen::english);
}

languageScreen::~languageScreen() = default;

void languageScreen::setDarkMode(bool dark)
{
    setStyleSheet(Theme::pageStyle(dark));
    ui->germanButton->setStyleSheet(Theme::buttonStyle(dark));
    ui->englishButton->setStyleSheet(Theme::buttonStyle(dark));
}

void languageScreen::german()
{
    emit changeLanguage(0);
    close();
}

void languageScreen::english()
{
    emit changeLanguage(1);
    close();
}
