#include "platform/accounts/FetchmailAccounts.h"

#include "platform/ProfileFile.h"

#include <QFile>
#include <QSet>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {

struct Token
{
    QString text;
    bool quoted = false;
    bool is(const char16_t* word) const
    {
        return !quoted && text.compare(QStringView(word), Qt::CaseInsensitive) == 0;
    }
};

// Words and quoted strings; "#" starts a comment outside quotes, and the
// punctuation , : ; is noise between words.
QList<Token> tokenize(const QString& text)
{
    QList<Token> tokens;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c.isSpace() || c == u',' || c == u':' || c == u';') {
            ++i;
        } else if (c == u'#') {
            while (i < n && text[i] != u'\n')
                ++i;
        } else if (c == u'"' || c == u'\'') {
            const QChar quote = c;
            Token t{{}, true};
            ++i;
            while (i < n && text[i] != quote) {
                if (text[i] == u'\\' && i + 1 < n) {
                    const QChar e = text[++i];
                    t.text += e == u'n' ? QChar(u'\n') : e == u't' ? QChar(u'\t') : e;
                } else {
                    t.text += text[i];
                }
                ++i;
            }
            ++i; // closing quote
            tokens << t;
        } else {
            const qsizetype start = i;
            while (i < n && !text[i].isSpace() && text[i] != u',' && text[i] != u':' && text[i] != u';' &&
                   text[i] != u'#')
                ++i;
            tokens << Token{text.mid(start, i - start), false};
        }
    }
    return tokens;
}

bool isPop(const QString& protocol)
{
    static const QSet<QString> pop = {u"pop3"_s, u"apop"_s, u"rpop"_s, u"kpop"_s, u"sdps"_s};
    return pop.contains(protocol.toLower());
}

// Options whose argument could otherwise be taken for a keyword ("password user").
bool takesArgument(const Token& t)
{
    static const QSet<QString> words = {u"password"_s,
                                        u"pass"_s,
                                        u"port"_s,
                                        u"service"_s,
                                        u"auth"_s,
                                        u"authenticate"_s,
                                        u"timeout"_s,
                                        u"envelope"_s,
                                        u"qvirtual"_s,
                                        u"principal"_s,
                                        u"esmtpname"_s,
                                        u"esmtppassword"_s,
                                        u"plugin"_s,
                                        u"plugout"_s,
                                        u"folder"_s,
                                        u"smtphost"_s,
                                        u"fetchdomains"_s,
                                        u"smtpaddress"_s,
                                        u"smtpname"_s,
                                        u"antispam"_s,
                                        u"mda"_s,
                                        u"bsmtp"_s,
                                        u"lmtp"_s,
                                        u"preconnect"_s,
                                        u"postconnect"_s,
                                        u"limit"_s,
                                        u"warnings"_s,
                                        u"batchlimit"_s,
                                        u"fetchlimit"_s,
                                        u"fetchsizelimit"_s,
                                        u"fastuidl"_s,
                                        u"expunge"_s,
                                        u"properties"_s,
                                        u"sslcert"_s,
                                        u"sslkey"_s,
                                        u"sslproto"_s,
                                        u"sslcertfile"_s,
                                        u"sslcertpath"_s,
                                        u"sslfingerprint"_s,
                                        u"sslcommonname"_s,
                                        u"interface"_s,
                                        u"monitor"_s,
                                        u"aka"_s,
                                        u"localdomains"_s,
                                        u"tracepolls"_s,
                                        u"is"_s,
                                        u"to"_s};
    return !t.quoted && words.contains(t.text.toLower());
}

} // namespace

QList<FoundAccount> fetchmailAccountsFromText(const QString& text)
{
    const QList<Token> tokens = tokenize(text);
    QList<FoundAccount> out;
    QString defaultProtocol, defaultUser;

    struct Entry
    {
        bool active = false;
        bool isDefaults = false;
        bool skipped = false;
        QString server, protocol, user;
    } entry;

    auto finish = [&] {
        if (entry.isDefaults) {
            if (!entry.protocol.isEmpty()) defaultProtocol = entry.protocol;
            if (!entry.user.isEmpty()) defaultUser = entry.user;
        } else if (entry.active && !entry.skipped) {
            const QString protocol = entry.protocol.isEmpty() ? defaultProtocol : entry.protocol;
            if (isPop(protocol) && !entry.server.isEmpty())
                out << FoundAccount{entry.server, entry.user.isEmpty() ? defaultUser : entry.user};
        }
        entry = Entry();
    };

    for (qsizetype i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        const bool hasNext = i + 1 < tokens.size();
        if (t.is(u"poll") || t.is(u"server") || t.is(u"skip")) {
            finish();
            entry.active = true;
            entry.skipped = t.is(u"skip");
            if (hasNext) entry.server = tokens[++i].text;
        } else if (t.is(u"defaults")) {
            finish();
            entry.active = true;
            entry.isDefaults = true;
        } else if (t.is(u"set")) {
            finish(); // global options up to the next entry
        } else if (!entry.active) {
            continue;
        } else if (t.is(u"via") && hasNext) {
            entry.server = tokens[++i].text;
        } else if ((t.is(u"proto") || t.is(u"protocol")) && hasNext) {
            entry.protocol = tokens[++i].text;
        } else if ((t.is(u"user") || t.is(u"username")) && hasNext) {
            // Several users may share one server; the first is the account we report.
            const QString user = tokens[++i].text;
            if (entry.user.isEmpty()) entry.user = user;
        } else if (takesArgument(t) && hasNext) {
            ++i;
        }
    }
    finish();
    return out;
}

QList<FoundAccount> readFetchmailAccounts(const QString& home)
{
    QFile f(home + u"/.fetchmailrc"_s);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return fetchmailAccountsFromText(decodeLegacyText(f.readAll()));
}

} // namespace orvella::platform
