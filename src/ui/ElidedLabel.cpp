#include "ui/ElidedLabel.h"

#include <QFontMetrics>
#include <QResizeEvent>

namespace orvella {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text)
{
    m_fullText = text;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

QSize ElidedLabel::sizeHint() const
{
    const QMargins m = contentsMargins();
    return {fontMetrics().horizontalAdvance(m_fullText) + m.left() + m.right() + 2 * margin(),
            QLabel::sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::showEvent(QShowEvent* event)
{
    QLabel::showEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    // One line: the breaks of a longer text would be lost in a status bar anyway.
    QString line = m_fullText;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    // Unseen, it has no width of its own to fit: the text stays whole.
    if (!isVisible()) {
        setText(line);
        setToolTip(QString());
        return;
    }
    const QString shown =
        fontMetrics().elidedText(line, Qt::ElideRight, std::max(0, contentsRect().width() - 2 * margin()));
    setText(shown);
    setToolTip(shown == line ? QString() : m_fullText);
}

} // namespace orvella
