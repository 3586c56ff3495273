#include "platform/DurableFiles.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace orvella::platform {

CreateResult createNewFile(const QString& path, const QByteArray& data)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
    const char* p = data.constData();
    qsizetype left = data.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= n;
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(name.constData());
        return CreateResult::Failed;
    }
    return CreateResult::Created;
}

bool syncFileSystemOf(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace orvella::platform
