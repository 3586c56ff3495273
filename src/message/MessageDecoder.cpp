#include "message/MessageDecoder.h"

#include "platform/ProfileFile.h"

#include <QCryptographicHash>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextDocument>
// GLib's headers use "signals" as a field name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")
#include <memory>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

struct GObjectUnref
{
    void operator()(gpointer p) const
    {
        if (p) g_object_unref(p);
    }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectUnref>;

// GMime keeps global tables (charsets, iconv cache); it is set up once, the
// first time a message is decoded, and lives as long as the process.
GMimeParserOptions* parserOptions()
{
    static GMimeParserOptions* options = nullptr;
    static std::once_flag once;
    std::call_once(once, [] {
        g_mime_init();
        options = g_mime_parser_options_new();
        // Undeclared 8-bit header text: UTF-8 when it is valid, else the
        // Windows code page most such mail was written in.
        const char* fallback[] = {"UTF-8", "windows-1252", nullptr};
        g_mime_parser_options_set_fallback_charsets(options, fallback);
        g_mime_parser_options_set_rfc2047_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
        g_mime_parser_options_set_parameter_compliance_mode(options, GMIME_RFC_COMPLIANCE_LOOSE);
    });
    return options;
}

// Headers some servers add or change each time a message is fetched; they
// must not change the identifier made for a message without a Message-ID.
bool isVolatileHeader(const QByteArray& name)
{
    static const QByteArrayList names = {
        "status",         "x-status", "x-uidl", "x-keywords", "x-mozilla-status", "x-mozilla-status2",
        "content-length", "lines",    "x-imap", "x-imapbase"};
    return names.contains(name.toLower());
}

// ISO-8859-1 text holds no characters at 0x80..0x9F; senders who declare it
// mean Windows-1252, whose punctuation (quotes, dashes, the euro) lives there.
QString fixC1Controls(QString s)
{
    for (QChar& c : s)
        if (c.unicode() >= 0x80 && c.unicode() < 0xA0)
            c = platform::decodeWindows1252(QByteArray(1, char(c.unicode()))).at(0);
    return s;
}

QString headerText(const char* value)
{
    QString s = fixC1Controls(QString::fromUtf8(value ? value : ""));
    s.replace(u"\r\n"_s, u" "_s);
    s.replace(u'\r', u' ');
    s.replace(u'\n', u' ');
    s.replace(u'\t', u' ');
    return s.trimmed();
}

// A NUL byte has no place in mail text (RFC 5322 forbids it), and GMime keeps
// header values as C strings, so one NUL in "From: Se\0nder <a@b>" would cut
// the field to "Se" and a rule for "Sender" would no longer match. Dropped,
// like the other bytes that carry no text, with the rest of the field kept.
QByteArray withoutNulInHeaderBlock(const QByteArray& raw)
{
    qsizetype end = raw.indexOf("\r\n\r\n");
    const qsizetype lfEnd = raw.indexOf("\n\n");
    if (end < 0 || (lfEnd >= 0 && lfEnd < end)) end = lfEnd;
    if (end < 0) end = raw.size();
    if (raw.startsWith("\r\n") || raw.startsWith('\n')) end = 0;
    if (!QByteArrayView(raw).first(end).contains('\0')) return raw;
    QByteArray headers = raw.left(end);
    headers.replace('\0', QByteArrayView());
    return headers + raw.mid(end);
}

QString normaliseLineEnds(QString s)
{
    // NUL would end the text for every C API it reaches (speech, the clipboard).
    s.remove(QChar(u'\0'));

    s.replace(u"\r\n"_s, u"\n"_s);
    s.replace(u'\r', u'\n');
    s.replace(u"\n"_s, u"\r\n"_s);
    return s;
}

bool isWestern(const QByteArray& charset)
{
    static const QByteArrayList names = {"iso-8859-1",   "iso8859-1", "iso_8859-1", "latin1", "latin-1", "l1",
                                         "windows-1252", "cp1252",    "x-cp1252",   "ibm819", "cp819"};
    return names.contains(charset);
}

QString bodyToUnicode(const QByteArray& bytes, const QByteArray& declared)
{
    const QByteArray charset = declared.trimmed().toLower();
    if (charset.isEmpty() || charset == "us-ascii" || charset == "ascii" || charset == "unknown-8bit")
        return platform::decodeLegacyText(bytes);
    if (charset == "utf-8" || charset == "utf8") return QString::fromUtf8(bytes);
    if (isWestern(charset)) return platform::decodeWindows1252(bytes);
    // Everything else through iconv; a charset it does not know is treated as undeclared.
    GMimeFilter* filter = g_mime_filter_charset_new(charset.constData(), "UTF-8");
    if (!filter) return platform::decodeLegacyText(bytes);
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    GPtr<GMimeStream> filtered(g_mime_stream_filter_new(out.get()));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), filter);
    g_object_unref(filter);
    g_mime_stream_write(filtered.get(), bytes.constData(), size_t(bytes.size()));
    g_mime_stream_flush(filtered.get());
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    return QString::fromUtf8(reinterpret_cast<const char*>(array->data), qsizetype(array->len));
}

// The part's content with its transfer encoding undone, as text.
QString partText(GMimePart* part)
{
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content) return {};
    GPtr<GMimeStream> out(g_mime_stream_mem_new());
    // A body cut off by the line limit ends in the middle of the data; the
    // decoder gives what it has so far.
    g_mime_data_wrapper_write_to_stream(content, out.get());
    g_mime_stream_flush(out.get());
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(out.get()));
    const QByteArray bytes(reinterpret_cast<const char*>(array->data), qsizetype(array->len));
    const char* charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    return bodyToUnicode(bytes, QByteArray(charset ? charset : ""));
}

QString htmlToText(const QString& html)
{
    QString text;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QTextDocument document;
        document.setHtml(html);
        text = document.toPlainText();
    } else {
        // QTextDocument needs the GUI's font machinery; without it, tags are dropped.
        static const QRegularExpression hidden(u"<(script|style)[^>]*>.*?</\\1>"_s,
                                               QRegularExpression::CaseInsensitiveOption |
                                                   QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression breaks(u"<(br|/p|/div|/tr|/h\\d|/li)[^>]*>"_s,
                                               QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression tags(u"<[^>]*>"_s);
        text = html;
        text.remove(hidden);
        text.replace(breaks, u"\n"_s);
        text.remove(tags);
        text.replace(u"&nbsp;"_s, u" "_s).replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s);
        text.replace(u"&quot;"_s, u"\""_s).replace(u"&amp;"_s, u"&"_s);
    }
    text.replace(QChar(0x00A0), u' ');
    text.remove(QChar(QChar::ObjectReplacementCharacter)); // where images stood
    text.replace(QChar(QChar::LineSeparator), u'\n');
    text.replace(QChar(QChar::ParagraphSeparator), u'\n');
    // Layout blanks around the document are no text.
    return text.trimmed();
}

// The parts worth reading, found in document order. Inline parts win over
// attachments and over parts of an enclosed message.
struct Candidates
{
    GMimePart* plain = nullptr;
    GMimePart* html = nullptr;
    GMimePart* laterPlain = nullptr;
    GMimePart* laterHtml = nullptr;
};

void findTextParts(GMimeObject* object, bool secondary, Candidates& found)
{
    if (!object) return;
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i)
            findTextParts(g_mime_multipart_get_part(multipart, i), secondary, found);
        return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (inner) findTextParts(g_mime_message_get_mime_part(inner), true, found);
        return;
    }
    if (!GMIME_IS_PART(object)) return;
    GMimePart* part = GMIME_PART(object);
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const bool later = secondary || g_mime_part_is_attachment(part);
    if (g_mime_content_type_is_type(type, "text", "plain")) {
        GMimePart*& slot = later ? found.laterPlain : found.plain;
        if (!slot) slot = part;
    } else if (g_mime_content_type_is_type(type, "text", "html")) {
        GMimePart*& slot = later ? found.laterHtml : found.html;
        if (!slot) slot = part;
    }
}

QString bodyOf(GMimeMessage* message)
{
    Candidates found;
    findTextParts(g_mime_message_get_mime_part(message), false, found);
    if (found.plain) return partText(found.plain);
    if (found.html) return htmlToText(partText(found.html));
    if (found.laterPlain) return partText(found.laterPlain);
    if (found.laterHtml) return htmlToText(partText(found.laterHtml));
    return {};
}

QString idFromHash(const QByteArray& digest)
{
    return u'<' + QString::fromLatin1(digest.toHex().left(32)) + u"@no-message-id.orvella>"_s;
}

QString generatedID(GMimeHeaderList* headers)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const int count = g_mime_header_list_get_count(headers);
    for (int i = 0; i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        const QByteArray name = g_mime_header_get_name(header);
        if (isVolatileHeader(name)) continue;
        // Folding and runs of blanks may differ with the way the header was
        // unfolded; the words may not.
        const QByteArray value = QByteArray(g_mime_header_get_raw_value(header)).simplified();
        hash.addData(QByteArray(name.toLower() + ':' + value + '\n'));
    }
    return idFromHash(hash.result());
}

} // namespace

MessageDecoder::MessageDecoder() = default;

void MessageDecoder::Reset()
{
    m_headers.clear();
    m_body.clear();
}

void MessageDecoder::Header(const QString& field, const QString& value)
{
    if (field.isEmpty()) return;
    QByteArray v = value.toLatin1();
    // Unfolded values hold no line breaks; one that did would end the header block early.
    v.replace('\r', ' ').replace('\n', ' ');
    m_headers += field.toLatin1() + ": " + v + "\r\n";
}

void MessageDecoder::Transfer(qint64 /*bytesTransferred*/, const QString& text)
{
    m_body += text.toLatin1();
    m_body += "\r\n";
}

CMessage MessageDecoder::EndTransfer()
{
    const QByteArray raw = m_headers + "\r\n" + m_body;
    Reset();
    return Decode(raw);
}

CMessage MessageDecoder::Decode(const QByteArray& raw)
{
    CMessage message;
    GMimeParserOptions* options = parserOptions();
    const QByteArray cleaned = withoutNulInHeaderBlock(raw);
    GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(cleaned.constData(), size_t(cleaned.size())));
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), options));
    if (!parsed) {
        // Not even a header block: keep the text as it came.
        message.m_Content = normaliseLineEnds(platform::decodeLegacyText(raw));
        message.m_ID = idFromHash(QCryptographicHash::hash(raw, QCryptographicHash::Sha256));
        return message;
    }

    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(parsed.get()));
    // A field that comes twice is taken from its last occurrence.
    for (int i = 0, count = g_mime_header_list_get_count(headers); i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        const QByteArray name = QByteArray(g_mime_header_get_name(header)).toLower();
        if (name == "from") {
            message.m_FullFrom = headerText(g_mime_header_get_value(header));
        } else if (name == "to") {
            message.m_FullTo = headerText(g_mime_header_get_value(header));
        } else if (name == "subject") {
            message.m_Subject = headerText(g_mime_header_get_value(header));
        } else if (name == "message-id") {
            // Kept as delivered (not decoded): identifier files hold the raw
            // value, and a decoded one would no longer match them.
            message.m_ID =
                platform::decodeLegacyText(QByteArray(g_mime_header_get_raw_value(header)).simplified());
        }
    }
    // GMime files the Content-* fields of the message under its body part.
    if (GMimeObject* body = g_mime_message_get_mime_part(parsed.get())) {
        GMimeHeaderList* contentHeaders = g_mime_object_get_header_list(body);
        for (int i = 0, count = g_mime_header_list_get_count(contentHeaders); i < count; ++i) {
            GMimeHeader* header = g_mime_header_list_get_header_at(contentHeaders, i);
            const QByteArray name = QByteArray(g_mime_header_get_name(header)).toLower();
            const QByteArray value = QByteArray(g_mime_header_get_raw_value(header)).trimmed().toLower();
            if (name == "content-type")
                message.m_IsMultiPart = value.contains("multipart");
            else if (name == "content-transfer-encoding")
                message.m_ContentTransferEncoding = QString::fromLatin1(value);
        }
    }
    if (message.m_ID.isEmpty()) message.m_ID = generatedID(headers);
    message.m_Content = normaliseLineEnds(bodyOf(parsed.get()));
    return message;
}

} // namespace orvella
