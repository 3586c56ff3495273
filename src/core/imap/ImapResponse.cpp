#include "core/imap/ImapResponse.h"

namespace orvella::imap {

namespace {

bool sameNoCase(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && qstrnicmp(a.data(), a.size(), b.data(), b.size()) == 0;
}

std::optional<quint64> toNumber(QByteArrayView digits)
{
    if (digits.isEmpty() || digits.size() > 19) return std::nullopt;
    quint64 n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + quint64(c - '0');
    }
    return n;
}

} // namespace

bool ImapValue::isAtom(QByteArrayView name) const
{
    return kind == Atom && sameNoCase(text, name);
}

const ImapValue* ImapValue::attribute(QByteArrayView name) const
{
    if (kind != List) return nullptr;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        const ImapValue& key = items[i];
        if (key.kind != Atom) continue;
        QByteArrayView k = key.text;
        // "BODY[TEXT]<0>" answers "BODY.PEEK[TEXT]<0.300>": the origin is no part of the name.
        if (k.endsWith('>')) {
            const qsizetype open = k.lastIndexOf('<');
            if (open > 0) k = k.first(open);
        }
        if (sameNoCase(k, name)) return &items[i + 1];
    }
    return nullptr;
}

std::optional<quint64> ImapResponse::codeNumber(QByteArrayView codeName) const
{
    if (code != codeName) return std::nullopt;
    return toNumber(codeArgument.trimmed());
}

QList<QByteArray> ImapResponse::capabilities() const
{
    QList<QByteArray> names;
    if (code == "CAPABILITY") {
        for (const QByteArray& word : codeArgument.split(' '))
            if (!word.isEmpty()) names.append(word.toUpper());
    } else if (name == "CAPABILITY") {
        for (const ImapValue& v : values)
            if (v.kind == ImapValue::Atom) names.append(v.text.toUpper());
    }
    return names;
}

} // namespace orvella::imap
