#pragma once

#include <QString>

namespace orvella::platform {

// Holds a lock on a folder for as long as the object lives: one program per
// folder, whatever session or runtime folder each was started from.
//
// The lock is the kernel's (flock on a file "Orvella.lock" inside the
// folder), so it goes with the process however the process ends: a kill -9
// leaves no stale lock behind, and no process number that the system hands
// out again can make a dead owner look alive.
class FolderLock
{
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    enum class Result {
        Locked,      // this process holds the folder
        Held,        // another process holds it
        Unavailable, // the lock file cannot be made (a read-only folder): nothing to guard
    };
    Result lock(const QString& folder);
    // The process that holds the folder, as its lock file says (0 when unknown).
    qint64 holder() const { return m_holder; }
    // Why the lock file could not be made (Unavailable).
    QString error() const { return m_error; }

    static QString lockFileName() { return QStringLiteral("Orvella.lock"); }

private:
    void release();

    int m_fd = -1;
    QString m_path;
    qint64 m_holder = 0;
    QString m_error;
};

} // namespace orvella::platform
