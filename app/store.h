#pragma once

class MeterRecords;
class QSettings;

// The three options kept between runs.
struct Options {
    bool darkMode = false;
    bool tovik = false;
    int language = 0;
};

// The per-user store: the options and every meter with all its measurements, in the layout
// that earlier runs wrote. A store is outside data: reading it never trusts a size or count.
namespace Store {

void write(QSettings &settings, const Options &options, const MeterRecords &records);
// Reads the options, then appends every stored meter to the (empty) records.
void read(QSettings &settings, Options &options, MeterRecords &records);

} // namespace Store
