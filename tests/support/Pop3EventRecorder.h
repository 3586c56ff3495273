#pragma once

#include "core/pop3/Pop3Client.h"

#include <QObject>
#include <QStringList>

namespace orvella::test {

// Writes down the events of a Pop3Client as text, in order:
//   "start 3"              messageStarted(3)
//   "H Subject: hello"     Header("Subject", "hello")
//   "T body line"          Transfer(_, "body line")
//   "end"                  EndTransfer()
// Errors go to their own list as "<code> <description>".
class Pop3EventRecorder
{
public:
    explicit Pop3EventRecorder(Pop3Client* client)
    {
        QObject::connect(client, &Pop3Client::messageStarted, &m_context,
                         [this](int n) { events.append(QStringLiteral("start %1").arg(n)); });
        QObject::connect(client, &Pop3Client::Header, &m_context, [this](const QString& f, const QString& v) {
            events.append(QStringLiteral("H ") + f + QStringLiteral(": ") + v);
        });
        QObject::connect(client, &Pop3Client::Transfer, &m_context,
                         [this](qint64 bytes, const QString& text) {
                             lastBytes = bytes;
                             events.append(QStringLiteral("T ") + text);
                         });
        QObject::connect(client, &Pop3Client::EndTransfer, &m_context,
                         [this] { events.append(QStringLiteral("end")); });
        QObject::connect(client, &Pop3Client::Error, &m_context,
                         [this](int code, const QString& description) {
                             errorCodes.append(code);
                             errors.append(QString::number(code) + u' ' + description);
                         });
    }

    void clear()
    {
        events.clear();
        errors.clear();
        errorCodes.clear();
    }

    QStringList events;
    QStringList errors;
    QList<int> errorCodes;
    qint64 lastBytes = 0;

private:
    QObject m_context;
};

} // namespace orvella::test
