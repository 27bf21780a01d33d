#pragma once

#include <QString>

class QWidget;

// Shows a warning box with a single OK button over a screen. The screen hides while the box is up, and in the dark
// theme turns white behind it and dark again afterwards, so the box never sits on a dark page.
void warnOverScreen(QWidget *screen, bool dark, const QString &title, const QString &text);
