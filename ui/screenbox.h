#pragma once

#include <QString>

class QWidget;

// Shows a warning box with a single OK button over a screen. The screen hides while the box is
// up, and in the dark theme turns white behind it and dark again afterwards, so the box never
// sits on a dark page.
void warnOverScreen(QWidget *screen, bool dark, const QString &title, const QString &text);

// Asks the yes/no/cancel question of a destructive action, titled "Kalvion", with Yes as the
// default; true only for Yes. In the light theme the screen stays in view behind the box.
bool confirmOverScreen(QWidget *screen, bool dark, const QString &text);

// Asks for a line of text, pre-filled with preset, the screen put aside as for a warning.
// Gives an empty text when the user cancels.
QString askOverScreen(QWidget *screen, bool dark, const QString &title, const QString &label,
                      const QString &preset);
