#pragma once

#include <QString>

// The computer's Bluetooth adapter, as far as the user is told of it.
namespace Adapter {

// No adapter, or one that is switched off: nothing can be found or linked until the user
// switches Bluetooth on.
bool unavailable();

// The warning that says so, in the language given (0 German, 1 English).
QString unavailableTitle(int language);
QString unavailableText(int language);

} // namespace Adapter
