#pragma once

#include <QDialog>

#include <memory>

class QMovie;
class QSoundEffect;

namespace Ui {
class tovikScreen;
}

// The startup animation: the mascot walks in to its two sounds, and after 6.8 s the window
// closes and hands over to the main window.
class tovikScreen : public QDialog
{
    Q_OBJECT

public:
    explicit tovikScreen(QWidget *parent = nullptr);
    ~tovikScreen() override;

signals:
    void gifStopped();

public slots:
    void stopGif();
    void playSound1();
    void playSound2();
    void stopAnimation(int frameNumber);

private:
    std::unique_ptr<Ui::tovikScreen> ui;
    std::unique_ptr<QMovie> movie;
    std::unique_ptr<QSoundEffect> footsteps;
    std::unique_ptr<QSoundEffect> buzz;
};
