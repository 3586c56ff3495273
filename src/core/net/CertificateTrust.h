#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

namespace orvella::net {

// What a TLS handshake's certificate problems come to for an account that may
// trust one certificate by its SHA-256 fingerprint (a self-hosted server's
// self-signed one).
struct CertificateVerdict
{
    bool accept = false;
    // "AA:BB:..." of the refused certificate; empty when it had none.
    QString rejectedFingerprint;
    // For the user: what is wrong and how to trust the certificate.
    QString description;
};

// trusted: a normalized fingerprint (normalizeFingerprint) or empty.
CertificateVerdict judgeCertificate(const QList<QSslCertificate>& chain, const QList<QSslError>& errors,
                                    const QByteArray& trusted, const QString& host);

// "AA:BB:..." upper case, as the Error descriptions and the settings show it.
QString formatFingerprint(const QByteArray& sha256);
// Strips ':' and blanks and lower-cases; empty when fingerprint is no
// SHA-256 fingerprint.
QByteArray normalizeFingerprint(const QString& fingerprint);

} // namespace orvella::net
