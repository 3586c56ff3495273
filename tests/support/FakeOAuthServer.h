#pragma once

// tests/support/fake_oauth_server.py run for one test: a stand-in for
// Microsoft's and Google's sign-in services on 127.0.0.1, with its control
// endpoints and a browser that follows the sign-in page back to the
// program's listener. Starting it points the program there
// (ORVELLA_OAUTH_AUTHORITY) and gives it the client IDs the fake accepts.

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace orvella::test {

class FakeOAuthServer
{
public:
    static constexpr const char* ClientId = "orvella-test-client";

    FakeOAuthServer() = default;
    FakeOAuthServer(const FakeOAuthServer&) = delete;
    ~FakeOAuthServer() { stop(); }

    // Starts the server (arguments added to the command line) and waits for
    // its port; false with *error set when it does not come up.
    bool start(const QStringList& extra = {}, QString* error = nullptr)
    {
        const QString script =
            QStringLiteral(ORVELLA_TEST_SCRIPTS_DIR) + QStringLiteral("/../support/fake_oauth_server.py");
        const QString portFile = m_dir.filePath(QStringLiteral("port"));
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("python3"),
                        QStringList{script, QStringLiteral("--port-file"), portFile,
                                    QStringLiteral("--client-id"), QString::fromLatin1(ClientId),
                                    QStringLiteral("--log"), logFile()} +
                            extra);
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
            QFile f(portFile);
            if (f.open(QIODevice::ReadOnly)) {
                port = f.readAll().trimmed().toUShort();
                if (port) break;
            }
            m_process.waitForFinished(50);
        }
        if (!port) {
            if (error)
                *error = QStringLiteral("the fake sign-in server did not start: ") + m_process.errorString();
            return false;
        }
        qputenv("ORVELLA_OAUTH_AUTHORITY", authority().toUtf8());
        qputenv("ORVELLA_MS_CLIENT_ID", ClientId);
        qputenv("ORVELLA_GOOGLE_CLIENT_ID", ClientId);
        qputenv("ORVELLA_GOOGLE_CLIENT_SECRET", "not-so-secret");
        return true;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(10000)) m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    QString authority() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    QString logFile() const { return m_dir.filePath(QStringLiteral("requests.jsonl")); }
    QByteArray log() const
    {
        QFile f(logFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // A request to the server, waited for; the reply's JSON (empty when it
    // had none). status receives the HTTP status.
    QJsonObject call(const QByteArray& verb, const QString& pathAndQuery, int* status = nullptr)
    {
        QNetworkRequest request(QUrl(authority() + pathAndQuery));
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/x-www-form-urlencoded"));
        std::unique_ptr<QNetworkReply> reply(m_network.sendCustomRequest(request, verb, QByteArray()));
        wait(*reply);
        if (status) *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        return QJsonDocument::fromJson(reply->readAll()).object();
    }

    // The user's browser: opens the sign-in page, which answers with a
    // redirect to the program's listener, and follows it there. The HTTP
    // status of the listener's page; location receives the redirect.
    int followSignIn(const QUrl& page, QUrl* location = nullptr)
    {
        QNetworkRequest first(page);
        first.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        std::unique_ptr<QNetworkReply> r1(m_network.get(first));
        wait(*r1);
        const QUrl next = r1->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (location) *location = next;
        if (next.isEmpty()) return -r1->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        return visit(next);
    }

    // A GET of url as a browser makes it; its HTTP status, 0 without one.
    int visit(const QUrl& url)
    {
        std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(url)));
        wait(*reply);
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }

    quint16 port = 0;

private:
    static void wait(QNetworkReply& reply)
    {
        if (reply.isFinished()) return;
        QEventLoop loop;
        QObject::connect(&reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    QNetworkAccessManager m_network;
};

} // namespace orvella::test
