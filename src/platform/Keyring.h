#pragma once

#include <QCoro/QCoroTask>
#include <QString>

namespace orvella::platform {

// The desktop's keyring as the program uses it: one secret a key, all under
// the service "Orvella". The real one is the desktop's Secret Service (GNOME
// Keyring, KeePassXC) or KWallet, reached through QtKeychain without ever
// waiting on the window's thread; tests may put their own in its place.
class Keyring
{
public:
    enum class Status {
        Ok,
        NotFound,    // no entry of that key
        Locked,      // the keyring stayed locked, or its owner said no at its prompt
        Unavailable, // no keyring answers on this desktop
        Failed,      // anything else the keyring reported
    };
    struct Reply
    {
        Status status = Status::Failed;
        QString password; // what a read found
        QString message;  // the keyring's own words for a failure
        bool ok() const { return status == Status::Ok; }
    };

    static constexpr char16_t Service[] = u"Orvella";

    virtual ~Keyring() = default;
    // Parameters by value: the caller's strings may be gone before the keyring answers.
    virtual QCoro::Task<Reply> read(QString key) = 0;
    virtual QCoro::Task<Reply> write(QString key, QString password) = 0;
    virtual QCoro::Task<Reply> remove(QString key) = 0;

    // The keyring the program uses.
    static Keyring& instance();
    // Puts keyring in place of the desktop's; null puts the desktop's back.
    static void install(Keyring* keyring);
};

} // namespace orvella::platform
