#pragma once

// The commands beside the window: `kalvion list` and `kalvion export`. They run on a
// QCoreApplication, without a display, put their data on stdout or into a file, and everything
// meant for a person on stderr.
namespace CommandLine {

// The exit statuses of every command, as the manual page lists them.
enum Status {
    Done = 0,
    Usage = 1, // a wrong command line, or a meter or measurement that is not there
    NoMeter = 2, // no meter found, or Bluetooth unavailable
    GivenUp = 3, // the link to a meter was given up
    OutputFailed = 4,
    StoreUnreadable = 5, // the store is locked or cannot be read
};

// Whether a command line is for the commands rather than the window: a command, --help,
// --version, or a mistake in them. The window keeps the empty command line and Qt's own
// single-dash options (-platform, -style, -reverse, ...).
bool wanted(int argc, char *argv[]);

// Runs the command line, which wanted() claimed, and gives the exit status.
int run(int argc, char *argv[]);

} // namespace CommandLine
