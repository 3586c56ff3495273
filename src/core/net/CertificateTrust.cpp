#include "core/net/CertificateTrust.h"

#include <QCryptographicHash>
#include <QStringList>
#include <cctype>

using namespace Qt::Literals::StringLiterals;

namespace orvella::net {

CertificateVerdict judgeCertificate(const QList<QSslCertificate>& chain, const QList<QSslError>& errors,
                                    const QByteArray& trusted, const QString& host)
{
    QSslCertificate leaf = chain.value(0);
    if (leaf.isNull()) {
        for (const QSslError& e : errors) {
            if (!e.certificate().isNull()) {
                leaf = e.certificate();
                break;
            }
        }
    }
    const QByteArray digest = leaf.isNull() ? QByteArray() : leaf.digest(QCryptographicHash::Sha256);
    CertificateVerdict verdict;
    // The user vouched for exactly this certificate: whatever the system's
    // store says about it (self-signed, other host name, expired) is accepted.
    if (!trusted.isEmpty() && !digest.isEmpty() && digest.toHex() == trusted) {
        verdict.accept = true;
        return verdict;
    }
    QStringList reasons;
    for (const QSslError& e : errors) {
        const QString r = e.errorString();
        if (!reasons.contains(r)) reasons.append(r);
    }
    if (digest.isEmpty()) {
        verdict.description = u"The server's certificate is not trusted: %1."_s.arg(reasons.join(u"; "_s));
        return verdict;
    }
    verdict.rejectedFingerprint = formatFingerprint(digest);
    verdict.description =
        u"The certificate of %1 is not trusted (%2). Its SHA-256 fingerprint is %3; "
        u"if it is your server's own, compare the fingerprint and press 'Trust This Certificate' "
        u"for this account in the 'E-mail Accounts' tab of the 'Options' screen."_s.arg(
            host, reasons.join(u"; "_s), verdict.rejectedFingerprint);
    return verdict;
}

QString formatFingerprint(const QByteArray& sha256)
{
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}

QByteArray normalizeFingerprint(const QString& fingerprint)
{
    QByteArray hex;
    for (QChar c : fingerprint) {
        if (c == u':' || c == u' ' || c == u'\t') continue;
        if (c.unicode() > 0x7F || !std::isxdigit(static_cast<unsigned char>(c.toLatin1()))) return {};
        hex.append(char(c.toLower().toLatin1()));
    }
    return hex.size() == 64 ? hex : QByteArray();
}

} // namespace orvella::net
