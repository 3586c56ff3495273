#include "platform/FolderLock.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvella::platform {

FolderLock::~FolderLock()
{
    release();
}

void FolderLock::release()
{
    if (m_fd < 0) return;
    // Removed while still held, so no other process can lock this file and
    // then find a new one in its place.
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_fd);
    m_fd = -1;
}

FolderLock::Result FolderLock::lock(const QString& folder)
{
    release();
    m_path = folder + u'/' + lockFileName();
    const QByteArray name = QFile::encodeName(m_path);
    // A holder that ends removes the file it held; a process that opened
    // that file just before then locks a file nobody else sees. Such a lock
    // does not count: open again until the locked file is the one the folder
    // holds.
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            m_error = qt_error_string(errno);
            return Result::Unavailable;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int why = errno;
            char buffer[32] = {};
            const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
            m_holder = n > 0 ? QByteArray(buffer, int(n)).trimmed().toLongLong() : 0;
            ::close(fd);
            if (why == EWOULDBLOCK) return Result::Held;
            m_error = qt_error_string(why);
            return Result::Unavailable;
        }
        struct stat held = {}, named = {};
        if (::fstat(fd, &held) == 0 && ::stat(name.constData(), &named) == 0 && held.st_dev == named.st_dev &&
            held.st_ino == named.st_ino) {
            m_fd = fd;
            // For the user who finds the file: which process holds the folder.
            // The number is a courtesy; the lock holds without it.
            const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
            const bool written =
                ::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) == pid.size();
            Q_UNUSED(written);
            return Result::Locked;
        }
        ::close(fd);
    }
    m_error = QStringLiteral("The lock file keeps changing");
    return Result::Unavailable;
}

} // namespace orvella::platform
