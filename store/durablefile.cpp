#include "store/durablefile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace DurableFile {

QString target(const QString &path)
{
    // As many links as the kernel follows; a loop is left to fail where the file is opened.
    constexpr int mostLinks = 40;
    QFileInfo file(path);
    for (int n = 0; n < mostLinks && file.isSymLink(); ++n)
        file.setFile(file.symLinkTarget());
    return file.isSymLink() ? path : file.filePath();
}

int create(const QString &path, mode_t mode)
{
    return ::open(
        QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
}

int openToAppend(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
}

bool writeAll(int fd, QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

bool syncData(int fd)
{
    return ::fdatasync(fd) == 0;
}

bool syncFolder(const QString &file)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(file).absolutePath()).constData(),
        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    const bool ok = ::fsync(dir) == 0;
    ::close(dir);
    return ok;
}

bool renameOver(const QString &from, const QString &to)
{
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0
        && syncFolder(to);
}

} // namespace DurableFile
