#pragma once

#include "store/store.h"

#include <QCommandLineParser>
#include <QStringList>

#include <functional>
#include <optional>

class QFileDevice;

// What the commands share. Each command is given its arguments with its own name first, as a
// program is given its own.
namespace CommandLine {

int record(const QStringList &arguments);
int list(const QStringList &arguments);
int exportMeasurement(const QStringList &arguments);

// Tells the person on stderr, as "kalvion COMMAND: message".
void say(const QString &command, const QString &message);

// Parses a command's arguments, answering --help and saying what is wrong with an option, and
// checks that exactly `positionals` arguments follow. Gives the status to end with when the
// command is not to go on: done after the help, usage otherwise.
std::optional<int> parse(
    QCommandLineParser &parser, const QStringList &arguments, qsizetype positionals);

// What the window would show if it started now, read without writing; nothing, said, when the
// store or its journal cannot be read.
std::optional<Store::Snapshot> readStore(const QString &command);

// The first known meter, in the order of the list, that a person names by its label or by its
// address in any case; nullptr when there is none.
const Meter *findMeter(const QList<Meter> &meters, const QString &name);

// Writes through `write` to stdout when `path` is empty or "-", else to the file at `path`,
// and gives the status: a failure is said.
int output(
    const QString &command, const QString &path, const std::function<bool(QFileDevice &)> &write);

} // namespace CommandLine
