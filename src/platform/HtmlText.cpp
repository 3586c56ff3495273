#include "platform/HtmlText.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextDocument>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

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

} // namespace orvella::platform
