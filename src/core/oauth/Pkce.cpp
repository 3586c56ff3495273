#include "core/oauth/Pkce.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>
#include <array>

namespace orvella::oauth {

namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

// Cryptographic randomness (the system's generator, not a seeded one):
// anyone who could guess these values could redeem the code themselves.
QString randomText()
{
    std::array<quint32, 8> words{}; // 32 bytes
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()), qsizetype(sizeof words));
    return QString::fromLatin1(bytes.toBase64(kBase64Url));
}

} // namespace

QString makeVerifier()
{
    return randomText();
}

QString challengeS256(const QString& verifier)
{
    const QByteArray digest = QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toBase64(kBase64Url));
}

QString makeState()
{
    return randomText();
}

} // namespace orvella::oauth
