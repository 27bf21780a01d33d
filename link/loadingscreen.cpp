#include "link/loadingscreen.h"
#include "ui_loadingscreen.h"

#include <QMovie>

loadingScreen::loadingScreen(QWidget *parent)
    : QDialog(parent), ui(new Ui::loadingScreen), movie(new QMovie(":/gif/Loading_icon.gif", {}, this))
{
    ui->setupUi(this);
    setFixedSize(400, 300);
    setWindowTitle("KalvionApp");
    movie->setScaledSize(QSize(400, 300));
    ui->loadingLabel->setMovie(movie);
    movie->start();
}

loadingScreen::~loadingScreen() = default;
