#pragma once

// Searches for meters over Bluetooth Low Energy.
namespace Search {

// How long a search runs, in milliseconds: the discovery dialog's, and the short one that makes
// a meter BlueZ has forgotten known again before a link. Tests shorten it; the program does not.
inline int timeout = 10000;

} // namespace Search
