#include "support/ScriptedTransport.h"

#include <QMetaObject>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace orvella::test {

ScriptedTransport::ScriptedTransport(QObject* parent) : IMailTransport(parent)
{
}

ScriptedTransport::~ScriptedTransport() = default;

ScriptedTransport& ScriptedTransport::script(const QByteArray& dialogue)
{
    for (const QByteArray& line : dialogue.split('\n')) {
        QByteArray l = line;
        while (!l.isEmpty() && (l.front() == ' ' || l.front() == '\t'))
            l.remove(0, 1);
        if (l.endsWith('\r')) l.chop(1);
        if (l.isEmpty()) continue;
        if (l.startsWith("S: ") || l == "S:")
            server(l.mid(3));
        else if (l.startsWith("C: "))
            client(l.mid(3));
        else if (l == "!tls")
            tls();
        else if (l == "!drop")
            drop();
        else if (l == "!silence")
            silence();
        else
            m_failures.append(u"bad script line: "_s + QString::fromLatin1(l));
    }
    return *this;
}

ScriptedTransport& ScriptedTransport::server(const QByteArray& line)
{
    return serverRaw(line + "\r\n");
}

ScriptedTransport& ScriptedTransport::serverRaw(const QByteArray& bytes)
{
    m_steps.append(Step{Step::Server, bytes});
    return *this;
}

ScriptedTransport& ScriptedTransport::client(const QByteArray& line)
{
    m_steps.append(Step{Step::Client, line});
    return *this;
}

ScriptedTransport& ScriptedTransport::tls()
{
    m_steps.append(Step{Step::Tls, {}});
    return *this;
}

ScriptedTransport& ScriptedTransport::drop()
{
    m_steps.append(Step{Step::Drop, {}});
    return *this;
}

ScriptedTransport& ScriptedTransport::silence()
{
    m_steps.append(Step{Step::Silence, {}});
    return *this;
}

ScriptedTransport& ScriptedTransport::endless(const QByteArray& bytes)
{
    m_steps.append(Step{Step::Endless, bytes});
    return *this;
}

ScriptedTransport& ScriptedTransport::trickle(const QByteArray& bytes, int intervalMs)
{
    m_steps.append(Step{Step::Trickle, bytes, std::max(1, intervalMs)});
    return *this;
}

void ScriptedTransport::refuseConnection(const QString& error)
{
    m_refusal = error;
}

void ScriptedTransport::hangOnConnect()
{
    m_hang = true;
}

void ScriptedTransport::setCertificate(const QSslCertificate& certificate,
                                       const QList<QSslError::SslError>& problems)
{
    m_certificate = certificate;
    m_problems = problems;
}

QList<QSslCertificate> ScriptedTransport::peerCertificateChain() const
{
    if (!m_encrypted && !m_tlsRequested && !m_implicitTls) return {};
    return {m_certificate};
}

void ScriptedTransport::connectToHost(const QString& host, quint16 port, bool implicitTls)
{
    ++m_connectCount;
    ++m_generation;
    m_host = host;
    m_port = port;
    m_implicitTls = implicitTls;
    m_open = true;
    m_connectedSent = false;
    m_tlsRequested = false;
    m_encrypted = false;
    m_errorsIgnored = false;
    m_streaming = false;
    m_incoming.clear();
    m_unmatched.clear();
    m_partialClientLine.clear();
    schedule();
}

void ScriptedTransport::startTls()
{
    m_tlsRequested = true;
    schedule();
}

void ScriptedTransport::write(const QByteArray& data)
{
    if (!m_open) return;
    if (onWrite) onWrite(data);
    m_partialClientLine += data;
    qsizetype nl;
    int lines = 0;
    while ((nl = m_partialClientLine.indexOf("\r\n")) >= 0) {
        ++lines;
        const QByteArray line = m_partialClientLine.left(nl);
        m_partialClientLine.remove(0, nl + 2);
        m_clientLines.append(line);
        m_unmatched.append(line);
    }
    m_writeBatches.append(lines);
    schedule();
}

QByteArray ScriptedTransport::readAvailable()
{
    if (m_incoming.isEmpty()) return {};
    if (m_outputLimit > 0 || (m_streaming && m_trickleMs == 0)) {
        // The client made room: a blocked server goes on, an endless one
        // sends its next piece.
        const int generation = m_generation;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation != m_generation) return;
                if (m_streaming)
                    stream();
                else
                    schedule();
            },
            Qt::QueuedConnection);
    }
    if (m_chunkSize <= 0 || m_incoming.size() <= m_chunkSize) {
        m_bytesRead += m_incoming.size();
        return std::exchange(m_incoming, {});
    }
    QByteArray chunk = m_incoming.left(m_chunkSize);
    m_incoming.remove(0, m_chunkSize);
    m_bytesRead += chunk.size();
    // More is waiting: say so again, as a socket does after a partial read.
    const int generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation && m_open && !m_incoming.isEmpty()) Q_EMIT readyRead();
        },
        Qt::QueuedConnection);
    return chunk;
}

void ScriptedTransport::disconnectFromHost()
{
    if (!m_open) return;
    m_closedByClient = true;
    m_open = false;
    ++m_generation;
    // Lines written just before the close still count (QUIT).
    pump();
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT disconnected(); }, Qt::QueuedConnection);
}

void ScriptedTransport::abort()
{
    m_closedByClient = true;
    m_open = false;
    ++m_generation;
    m_incoming.clear();
}

void ScriptedTransport::schedule()
{
    if (m_scheduled) return;
    m_scheduled = true;
    const int generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            m_scheduled = false;
            if (generation == m_generation) pump();
        },
        Qt::QueuedConnection);
}

void ScriptedTransport::serverCloses(const QString& error)
{
    m_open = false;
    ++m_generation;
    Q_EMIT errorOccurred(error);
    Q_EMIT disconnected();
}

void ScriptedTransport::stream()
{
    if (!m_open || m_streamBytes.isEmpty()) return;
    if (m_trickleMs > 0) {
        m_incoming += m_streamBytes.at(m_streamPos);
        m_streamPos = (m_streamPos + 1) % m_streamBytes.size();
        const int generation = m_generation;
        QTimer::singleShot(m_trickleMs, this, [this, generation] {
            if (generation == m_generation) stream();
        });
        Q_EMIT readyRead();
        return;
    }
    // Full speed: a socket buffer's worth whenever the client has read the last.
    if (!m_incoming.isEmpty()) return;
    while (m_incoming.size() < 64 * 1024)
        m_incoming += m_streamBytes;
    Q_EMIT readyRead();
}

void ScriptedTransport::mismatch(const QString& what)
{
    m_failures.append(what);
    if (m_open) serverCloses(u"The remote host closed the connection"_s);
}

bool ScriptedTransport::handshake()
{
    if (!m_problems.isEmpty()) {
        QList<QSslError> errors;
        for (QSslError::SslError e : m_problems)
            errors.append(QSslError(e, m_certificate));
        m_errorsIgnored = false;
        const int generation = m_generation;
        Q_EMIT sslErrors(errors);
        if (generation != m_generation) return false;
        if (!m_errorsIgnored) {
            serverCloses(errors.first().errorString());
            return false;
        }
    }
    m_encrypted = true;
    Q_EMIT encrypted();
    return true;
}

void ScriptedTransport::pump()
{
    const bool closing = !m_open && m_closedByClient;
    if (!m_open && !closing) return;
    if (m_open && !m_connectedSent) {
        if (m_hang) return;
        if (!m_refusal.isEmpty()) {
            m_open = false;
            ++m_generation;
            Q_EMIT errorOccurred(m_refusal);
            return;
        }
        m_connectedSent = true;
        const int generation = m_generation;
        Q_EMIT connected();
        if (generation != m_generation) return;
        if (m_implicitTls && !handshake()) return;
    }
    bool haveNews = false;
    while (m_next < m_steps.size() && !m_silent && !m_streaming) {
        const Step& step = m_steps[m_next];
        if (closing && step.kind != Step::Client) break;
        // A server whose output is not read blocks: it neither sends nor reads.
        if (outputFull()) break;
        if (step.kind == Step::Endless || step.kind == Step::Trickle) {
            ++m_next;
            m_streaming = true;
            m_streamBytes = step.data;
            m_streamPos = 0;
            m_trickleMs = step.kind == Step::Trickle ? step.intervalMs : 0;
            if (haveNews) Q_EMIT readyRead();
            haveNews = false;
            if (m_open) stream();
            break;
        }
        if (step.kind == Step::Server) {
            m_incoming += step.data;
            haveNews = true;
            ++m_next;
        } else if (step.kind == Step::Client) {
            if (m_unmatched.isEmpty()) break;
            const QByteArray got = m_unmatched.takeFirst();
            if (got != step.data) {
                mismatch(u"step %1: expected client line \"%2\", got \"%3\""_s.arg(m_next).arg(
                    QString::fromLatin1(step.data), QString::fromLatin1(got)));
                return;
            }
            ++m_next;
        } else if (step.kind == Step::Tls) {
            if (!m_tlsRequested) break;
            ++m_next;
            if (!handshake()) return;
        } else if (step.kind == Step::Drop) {
            ++m_next;
            if (haveNews) Q_EMIT readyRead();
            serverCloses(u"The remote host closed the connection"_s);
            return;
        } else {
            ++m_next;
            m_silent = true;
        }
    }
    if (responder && m_next >= m_steps.size() && !m_silent && !m_streaming) {
        while (!m_unmatched.isEmpty() && !outputFull()) {
            const QByteArray answer = responder(m_unmatched.takeFirst());
            if (!closing) m_incoming += answer;
            haveNews = haveNews || !answer.isEmpty();
        }
    }
    if (!m_unmatched.isEmpty() && m_next >= m_steps.size() && !m_silent && !m_streaming && !responder) {
        mismatch(u"unexpected client line after the end of the script: \"%1\""_s.arg(
            QString::fromLatin1(m_unmatched.first())));
        return;
    }
    if (m_tlsRequested && !m_encrypted && (m_next >= m_steps.size() || m_steps[m_next].kind != Step::Tls) &&
        !m_silent && m_unmatched.isEmpty()) {
        // Not scripted: the client started TLS where the server did not expect it.
        mismatch(u"the client started TLS at step %1, not scripted there"_s.arg(m_next));
        return;
    }
    if (haveNews && m_open) Q_EMIT readyRead();
}

} // namespace orvella::test
