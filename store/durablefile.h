#pragma once

#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

// The steps that put a file on disk so that a power cut finds it either whole or not at all:
// write it beside its final name, sync it, rename it over, sync the folder.
namespace DurableFile {

// The file a write through `path` replaces: the end of its chain of symbolic links, named even
// when it is missing, or `path` itself. Renamed over, a link would be gone, and the file it
// pointed to would silently stop being written.
QString target(const QString &path);
// A new, empty file opened for writing, or -1. Its permissions are `mode` less the umask.
int create(const QString &path, mode_t mode = 0666);
// An existing file opened for appending, or -1.
int openToAppend(const QString &path);
// False when not all of it could be written.
bool writeAll(int fd, QByteArrayView bytes);
// The file's data on disk, as far as a read needs it (fdatasync).
bool syncData(int fd);
// The folder's entry for the file on disk, so that a new name survives a power cut.
bool syncFolder(const QString &file);
// Replaces `to` by `from`, and syncs the folder.
bool renameOver(const QString &from, const QString &to);

} // namespace DurableFile
