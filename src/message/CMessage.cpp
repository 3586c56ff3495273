#include "message/CMessage.h"

#include "platform/DurableFiles.h"
#include "platform/ProfileFile.h"
#include "settings/Program.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// Nothing the program writes comes near this; a bigger ".tem" file is not ours.
constexpr qint64 maxMessageFileSize = 64 * 1024 * 1024;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QString trimBlanks(QStringView s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b).toString();
}

// The stamp for a moment given in hundredths of a second since the epoch.
QString stampFor(qint64 centiseconds)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(centiseconds * 10);
    const int hundredths = at.time().msecsSinceStartOfDay() / 10;
    QString stamp = at.toString(u"yyyyMMddhhmmss"_s) + QString::number(hundredths / 100);
    const int fraction = hundredths % 100;
    if (fraction != 0) {
        stamp += u'.';
        stamp += fraction % 10 == 0 ? QString::number(fraction / 10)
                                    : QString::number(fraction).rightJustified(2, u'0');
    }
    return stamp;
}

// The last stamp handed out by this process, in hundredths since the epoch.
qint64 lastStamp = 0;

} // namespace

QString CMessage::MessageFolder()
{
    return AppPath() + u"/msg"_s;
}

// Message files hold a name's double quotes as apostrophes, so a name read
// back from its file comes in apostrophes: a pair of those goes too.
QString CMessage::Unquote(const QString& text)
{
    QStringView s(text);
    if (s.size() >= 2 && s.front() == u'\'' && s.back() == u'\'') return s.mid(1, s.size() - 2).toString();
    if (s.startsWith(u'"')) s = s.mid(1);
    if (s.endsWith(u'"')) s.chop(1);
    return s.toString();
}

QString CMessage::ReplaceQuotes(const QString& text)
{
    QString s = text;
    s.replace(u'"', u'\'');
    return s;
}

// A display name in quotes is a quoted string, in which a backslash takes the
// next character as it is: "Quote \"Inner\" Name" is the name Quote "Inner"
// Name. A message file holds every double quote as an apostrophe, so a name
// read back from its file comes in apostrophes, and an escaped apostrophe
// there was an escaped double quote: a quote inside a quoted string needs
// the backslash, an apostrophe never does.
QString CMessage::DisplayName(const QString& text)
{
    const QChar quote = text.isEmpty() ? QChar() : text.front();
    if (text.size() < 2 || (quote != u'"' && quote != u'\'') || text.back() != quote) return Unquote(text);
    QString name;
    const qsizetype end = text.size() - 1;
    for (qsizetype i = 1; i < end; ++i) {
        QChar c = text[i];
        if (c == u'\\' && i + 1 < end) {
            c = text[++i];
            if (quote == u'\'' && c == u'\'') c = u'"';
        }
        name += c;
    }
    return name;
}

QString CMessage::From() const
{
    const qsizetype p = m_FullFrom.indexOf(u'<');
    if (p < 0) return m_FullFrom;
    return DisplayName(trimBlanks(QStringView(m_FullFrom).left(p)));
}

QString CMessage::Sender() const
{
    const QString name = trimBlanks(From());
    if (!name.isEmpty()) return name;
    const QString address = EMailAddress();
    return address.isEmpty() ? u"unknown sender"_s : address;
}

QString CMessage::EMailAddress() const
{
    const qsizetype p = m_FullFrom.indexOf(u'<');
    if (p < 0 || p >= m_FullFrom.size() - 1) return m_FullFrom;
    const QString rest = trimBlanks(QStringView(m_FullFrom).mid(p + 1));
    const qsizetype close = rest.indexOf(u'>');
    return close >= 0 ? trimBlanks(QStringView(rest).left(close)) : rest;
}

// Two messages saved within one hundredth of a second would get the same
// name and the second would replace the first. The stamp is therefore taken
// from a clock that never hands out the same hundredth twice (it runs ahead
// by a hundredth when asked again too soon); Save moves it on as well when a
// file of an earlier run already has the name. The stamp stays all digits,
// so names still sort by time.
void CMessage::MakeTimeStamp()
{
    qint64 cs = QDateTime::currentMSecsSinceEpoch() / 10;
    if (cs <= lastStamp) cs = lastStamp + 1;
    lastStamp = cs;
    m_TimeStamp = stampFor(cs);
}

QString CMessage::Path() const
{
    if (!m_filePath.isEmpty()) return m_filePath;
    return MessageFolder() + u'/' + m_TimeStamp + u".tem"_s;
}

QByteArray CMessage::fileContents() const
{
    // A quote inside the identifier would end its record early and shift
    // every record after it, so it is replaced like those of the free texts.
    const QString records[] = {ReplaceQuotes(m_ID), m_TimeStamp, ReplaceQuotes(m_FullFrom),
                               ReplaceQuotes(m_Subject), ReplaceQuotes(m_Content)};
    QString text;
    for (const QString& r : records) {
        text += u'"';
        text += r;
        text += u"\"\r\n"_s;
    }
    return text.toUtf8();
}

// The file is created whole under its final name and never replaces another.
// It gets no sync of its own: the mail check makes a whole batch durable at
// once, and a file cut short by a crash reads as damaged (its last record
// lacks its closing quote), which the account's journal clears up.
bool CMessage::Save(const std::function<bool(const QString& stamp)>& beforeWrite, QString* error)
{
    MakeTimeStamp();
    const QString folder = MessageFolder();
    bool madeFolder = false;
    QString why;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString path = folder + u'/' + m_TimeStamp + u".tem"_s;
        if (beforeWrite && !beforeWrite(m_TimeStamp)) return false;
        switch (platform::createNewFile(path, fileContents(), &why)) {
        case platform::CreateResult::Created:
            m_filePath = path;
            return true;
        case platform::CreateResult::Exists:
            MakeTimeStamp();
            break;
        case platform::CreateResult::Failed:
            // The folder is made at start-up; only a folder removed since costs a second try.
            if (madeFolder || !QDir().mkpath(folder)) {
                if (error) *error = why;
                return false;
            }
            madeFolder = true;
            break;
        }
    }
    if (error) *error = u"No free file name"_s;
    return false;
}

bool CMessage::Load(const QString& path)
{
    QFile f(path);
    if (f.size() > maxMessageFileSize || !f.open(QIODevice::ReadOnly)) return false;
    const QString text = platform::decodeLegacyText(f.readAll());

    // Five records, each a double quote, the value (line breaks included), a
    // double quote and a line end. Anything else is a damaged or foreign file.
    QString values[5];
    qsizetype i = 0;
    const qsizetype n = text.size();
    for (QString& value : values) {
        if (i >= n || text[i] != u'"') return false;
        const qsizetype close = text.indexOf(u'"', i + 1);
        if (close < 0) return false;
        value = text.mid(i + 1, close - i - 1);
        i = close + 1;
        while (i < n && isBlank(text[i]))
            ++i;
        if (i < n && text[i] == u'\r') ++i;
        if (i < n && text[i] == u'\n')
            ++i;
        else if (i < n && &value != &values[4])
            return false;
    }
    m_ID = values[0];
    m_TimeStamp = values[1];
    m_FullFrom = values[2];
    m_Subject = values[3];
    m_Content = values[4];
    m_filePath = path;
    return true;
}

void CMessage::Delete() const
{
    if (m_filePath.isEmpty() && m_TimeStamp.isEmpty()) return;
    QFile::remove(Path());
}

bool CMessage::IsQuotedPrintable() const
{
    return m_ContentTransferEncoding.contains(u"quoted-printable"_s);
}

} // namespace orvella
