#pragma once

#include <QString>

class QListWidgetItem;

// The two colour themes: every style sheet and item colour of the program, asked for by role.
namespace Theme {

QString pageStyle(bool dark);
QString buttonStyle(bool dark);
QString wideButtonStyle(bool dark);
QString textStyle(bool dark);
// The meter face on the live screen is drawn in the opposite colours to the page around it.
QString panelStyle(bool dark);
QString panelTextStyle(bool dark);
// Separator bars and the frame around a stored graph stand out against the page.
QString contrastStyle(bool dark);
void colourItem(QListWidgetItem *item, bool dark);

inline constexpr char applicationStyle[] = "QMessageBox{background-color: white}";

} // namespace Theme
