#pragma once

#include <QString>

// Proof Key for Code Exchange (RFC 7636) for the OAuth2 sign-in: the
// authorization request carries the challenge, the token request the
// verifier, so a code caught on its way back through the browser is of no
// use to whoever caught it.
namespace orvella::oauth {

// A fresh code verifier: 32 random bytes from the system's generator as
// base64url without padding, 43 characters of [A-Za-z0-9_-].
QString makeVerifier();
// The S256 challenge of verifier: base64url(SHA-256(verifier's ASCII bytes))
// without padding.
QString challengeS256(const QString& verifier);
// A fresh "state" value for the authorization request (the same form as a
// verifier): the reply that does not carry it back is not ours.
QString makeState();

} // namespace orvella::oauth
