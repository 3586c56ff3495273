#pragma once

#include <QByteArray>
#include <QString>

namespace orvella::platform {

// Files written in batches: each file is created whole under its final name
// without a sync of its own, and one sync of the file system makes the whole
// batch durable. A sync per file costs more than the rest of storing a message.

enum class CreateResult { Created, Exists, Failed };

// Creates path with data; never replaces an existing file (Exists). A file
// that cannot be written completely is removed again (Failed), and error, when
// given, receives the system's reason ("No space left on device").
CreateResult createNewFile(const QString& path, const QByteArray& data, QString* error = nullptr);

// Makes everything written so far to the file system holding path durable.
bool syncFileSystemOf(const QString& path);

} // namespace orvella::platform
