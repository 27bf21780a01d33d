#include "app/tovikscreen.h"
#include "ui_tovikscreen.h"

#include <QMovie>
#include <QPixmap>
#include <QSoundEffect>
#include <QTimer>

namespace {

std::unique_ptr<QSoundEffect> soundEffect(const char *source)
{
    auto effect = std::make_unique<QSoundEffect>();
    effect->setSource(QUrl(source));
    effect->setLoopCount(1);
    return effect;
}

// A sound that has not loaded (or has no device to load for) is skipped, never waited for.
void playIfReady(QSoundEffect &effect)
{
    if (effect.status() == QSoundEffect::Ready)
        effect.play();
}

} // namespace

tovikScreen::tovikScreen(QWidget *parent)
    : QDialog(parent), ui(new Ui::tovikScreen), movie(new QMovie(":/gif/tovik.gif"))
{
    ui->setupUi(this);
    setWindowTitle("KalvionApp");
    // The main window is still hidden: closing this one early must not end the program, the
    // main window comes at the end of the show all the same.
    setAttribute(Qt::WA_QuitOnClose, false);

    movie->setScaledSize(QSize(498, 885));
    ui->tovikLabel->setMovie(movie.get());
    movie->start();
    connect(movie.get(), &QMovie::frameChanged, this, &tovikScreen::stopAnimation);

    // Both load in the background; without an audio device they simply stay silent.
    footsteps = soundEffect("qrc:/sound/footsteps.wav");
    buzz = soundEffect("qrc:/sound/buzz.wav");

    // Precise: a coarse timer may fire a few hundred milliseconds off at these lengths.
    QTimer::singleShot(800, Qt::PreciseTimer, this, &tovikScreen::playSound1);
    QTimer::singleShot(6000, Qt::PreciseTimer, this, &tovikScreen::playSound2);
    QTimer::singleShot(6800, Qt::PreciseTimer, this, &tovikScreen::stopGif);
}

tovikScreen::~tovikScreen() = default;

void tovikScreen::stopGif()
{
    movie->stop();
    close();
    emit gifStopped();
}

void tovikScreen::playSound1()
{
    playIfReady(*footsteps);
}

void tovikScreen::playSound2()
{
    playIfReady(*buzz);
}

void tovikScreen::stopAnimation(int frameNumber)
{
    if (frameNumber != movie->frameCount() - 1)
        return;
    movie->stop();
    if (movie->state() != QMovie::NotRunning)
        return;
    // The movie would start over; the last picture stays instead.
    const QPixmap still(":/image/tovik_last_frame.png");
    ui->tovikLabel->setPixmap(still);
    ui->tovikLabel->setPixmap(
        still.scaled(ui->tovikLabel->size(), Qt::KeepAspectRatio, Qt::FastTransformation));
    ui->tovikLabel->show();
}
