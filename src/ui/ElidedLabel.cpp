#include "ui/ElidedLabel.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace orvella {

namespace {
// Wide enough for a short name or a count; the layout gives more where there is room.
constexpr int MinimumCharacters = 12;
} // namespace

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void ElidedLabel::setText(const QString& text)
{
    QLabel::setText(text);
    setToolTip(text);
}

QString ElidedLabel::shownText() const
{
    // One line: line ends in a header would otherwise break the label in two.
    QString line = text();
    line.replace(u'\n', u' ').replace(u'\r', u' ');
    return fontMetrics().elidedText(line, Qt::ElideRight, std::max(0, contentsRect().width() - 2 * margin()));
}

QSize ElidedLabel::sizeHint() const
{
    const QSize full = QLabel::sizeHint();
    return {std::min(full.width(), minimumSizeHint().width() * 4), full.height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QMargins m = contentsMargins();
    const int w = fontMetrics().averageCharWidth() * MinimumCharacters + m.left() + m.right() + 2 * margin();
    return {std::min(w, QLabel::sizeHint().width()), QLabel::minimumSizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&p, r, QStyle::visualAlignment(layoutDirection(), alignment()) | Qt::TextSingleLine,
                          palette(), isEnabled(), shownText(), foregroundRole());
}

} // namespace orvella
