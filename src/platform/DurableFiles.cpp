#include "platform/DurableFiles.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orvella::platform {

CreateResult createNewFile(const QString& path, const QByteArray& data, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (errno == EEXIST) return CreateResult::Exists;
        if (error) *error = qt_error_string(errno);
        return CreateResult::Failed;
    }
    int failure = 0;
    const char* p = data.constData();
    qsizetype left = data.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            // A write of zero bytes on a regular file means there is no room.
            failure = n < 0 ? errno : ENOSPC;
            break;
        }
        p += n;
        left -= n;
    }
    // Some file systems (NFS, quotas) tell a full disk only when the file is closed.
    if (::close(fd) != 0 && ok) {
        ok = false;
        failure = errno;
    }
    if (!ok) {
        ::unlink(name.constData());
        if (error) *error = qt_error_string(failure);
        return CreateResult::Failed;
    }
    return CreateResult::Created;
}

bool syncFileSystemOf(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace orvella::platform
