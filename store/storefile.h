#pragma once

#include "store/store.h"

#include <QByteArrayView>

#include <functional>
#include <optional>

// The store file in the ini form QSettings gives it, read and written in one pass over its
// bytes instead of a QVariant and a key per value.
namespace StoreFile {

// What QSettings reads from the file, or nothing when the file holds anything this pass does
// not read exactly as QSettings does: keys of another layout, missing, given twice or beyond
// an array's size, values in any form QSettings does not write. Such a file is for QSettings
// itself. A missing file reads as empty.
std::optional<Store::Snapshot> read(const QString &fileName);

// Gives the bytes QSettings writes for the snapshot into a new file to `put`, in pieces of a
// few MB, and stops when put() says it could not take one.
bool write(const Store::Snapshot &snapshot, const std::function<bool(QByteArrayView)> &put);
// Writes the store as a new file, synced, and gives the SHA-1 of its bytes, by which the
// journal names it; nothing when it could not.
QByteArray save(const QString &fileName, const Store::Snapshot &snapshot);

} // namespace StoreFile
