#include "core/reading/NewMailNotifier.h"

#include "core/reading/MessageReader.h"
#include "core/settings/Settings.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// A notice is read at a glance: a subject longer than this is cut.
constexpr qsizetype LongestSubject = 80;

QString oneLine(QString text)
{
    text.replace(u"\r\n"_s, u" "_s);
    text.replace(u'\n', u' ');
    text.replace(u'\r', u' ');
    text = text.simplified();
    if (text.size() > LongestSubject) text = text.left(LongestSubject - 1).trimmed() + u'…';
    return text;
}

QString senderName(const MailMessage& message)
{
    const QString name = oneLine(message.From());
    if (!name.isEmpty()) return name;
    const QString address = oneLine(message.EMailAddress());
    return address.isEmpty() ? u"(unknown sender)"_s : address;
}

} // namespace

NewMailNotifier::NewMailNotifier(platform::DesktopNotifications& notifications, const Settings& settings,
                                 const RuleList& rules, QObject* parent)
    : QObject(parent), m_notifications(notifications), m_settings(settings), m_rules(rules)
{
    connect(&m_notifications, &platform::DesktopNotifications::actionInvoked, this,
            [this](const QString& slot, const QString& action) {
                if (slot != QStringView(Slot)) return;
                if (action == u"read"_s) Q_EMIT readRequested();
                if (action == u"open"_s || action == u"default"_s) Q_EMIT openRequested();
            });
}

QList<MailMessage> NewMailNotifier::Notable(const QList<MailMessage>& messages, const RuleList& rules)
{
    QList<MailMessage> out;
    for (const MailMessage& message : messages) {
        // The first matching rule decides, as when the message is read.
        const auto rule =
            std::find_if(rules.begin(), rules.end(), [&](const Rule& r) { return r.Matches(message); });
        if (rule == rules.end() || rule->m_WhatToSay != u"Nothing"_s) out.append(message);
    }
    return out;
}

platform::DesktopNotifications::Notice NewMailNotifier::Compose(const QList<MailMessage>& notable)
{
    platform::DesktopNotifications::Notice notice;
    const qsizetype n = notable.size();
    notice.summary = n == 1 ? u"1 New Message"_s : QString::number(n) + u" New Messages"_s;
    QStringList lines;
    for (qsizetype i = 0; i < n && i < ListedMessages; ++i) {
        const QString subject = oneLine(notable[i].m_Subject);
        lines << senderName(notable[i]) + u": "_s + (subject.isEmpty() ? u"(no subject)"_s : subject);
    }
    if (n > ListedMessages) lines << u"and "_s + QString::number(n - ListedMessages) + u" more"_s;
    notice.body = lines.join(u'\n');
    notice.actions = {{u"read"_s, u"Read"_s}, {u"open"_s, u"Open"_s}};
    notice.icon = u"mail-unread"_s;
    notice.category = u"email.arrived"_s;
    return notice;
}

void NewMailNotifier::NewMailArrived(const QList<MailMessage>& newMessages)
{
    if (newMessages.isEmpty()) return;
    m_messages = newMessages;
    if (!m_settings.m_DesktopNotification) return;
    const QList<MailMessage> notable = Notable(newMessages, m_rules);
    if (notable.isEmpty()) return;
    m_notifications.show(QString::fromUtf16(Slot), Compose(notable));
}

bool NewMailNotifier::ReadNotifiedMail(MessageReader& reader, bool checkRunning)
{
    if (checkRunning || reader.ReadingActive || m_messages.isEmpty()) return false;
    reader.NewMessages = m_messages;
    // As during a check's reading: no check may start and replace the list.
    Q_EMIT reader.checkControlsChanged(false);
    reader.UpdateNewMessageLabel();
    reader.SetReadingMode(true);
    reader.ReadMessage(1);
    return true;
}

} // namespace orvella
