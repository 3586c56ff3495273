#pragma once

#include "core/message/MailMessage.h"
#include "core/rules/Rule.h"
#include "platform/DesktopNotifications.h"

#include <QList>
#include <QObject>

namespace orvella {

class Settings;
class MessageReader;

// New mail told by a desktop notification as well as by the character: one
// notice a check, with the count and the first senders and subjects, which
// replaces the notice of the check before. A message that a rule ignores
// ("Nothing") stays out of it, as it stays unspoken.
class NewMailNotifier : public QObject
{
    Q_OBJECT
public:
    static constexpr char16_t Slot[] = u"new-mail";
    // Senders and subjects the notice lists; the rest are counted.
    static constexpr int ListedMessages = 3;

    NewMailNotifier(platform::DesktopNotifications& notifications, const Settings& settings,
                    const RuleList& rules, QObject* parent = nullptr);

    // After a check's last account, before its announcement: the notice of
    // the messages it stored, when the setting asks for one and a message is
    // left after the rules. The messages are kept for "Read".
    void NewMailArrived(const QList<MailMessage>& newMessages);

    // The messages that no "Nothing" rule silences, in order.
    static QList<MailMessage> Notable(const QList<MailMessage>& messages, const RuleList& rules);
    // The notice of notable messages (at least one).
    static platform::DesktopNotifications::Notice Compose(const QList<MailMessage>& notable);

    // The messages of the last check that had new mail.
    const QList<MailMessage>& NotifiedMessages() const { return m_messages; }
    // "Read": the notified messages are read as a check's new mail is read.
    // False, and nothing done, while a check or a reading runs.
    bool ReadNotifiedMail(MessageReader& reader, bool checkRunning);

Q_SIGNALS:
    // The notice's "Read" action: the main window lets ReadNotifiedMail read.
    void readRequested();
    // The notice's "Open" action: the main window shows itself.
    void openRequested();

private:
    platform::DesktopNotifications& m_notifications;
    const Settings& m_settings;
    const RuleList& m_rules;
    QList<MailMessage> m_messages;
};

} // namespace orvella
