#include "gui/widgets/UpDownEdit.h"
#include "gui/widgets/WidgetHelpers.h"

#include "core/reminders/ReminderValues.h"
#include "core/settings/IniValues.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

UpDownEdit::UpDownEdit(const QString& objectName, const QString& accessibleName, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(objectName + u"Box"_s);
    edit = new QLineEdit(u"1"_s, this);
    edit->setObjectName(objectName);
    edit->setAccessibleName(accessibleName);
    edit->setMaxLength(9);
    edit->setAlignment(Qt::AlignRight);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(u"0000"_s) + 12);
    edit->installEventFilter(this);
    setFocusProxy(edit);

    auto makeArrow = [this](Qt::ArrowType arrow, const QString& name, int steps) {
        auto* b = new QToolButton(this);
        b->setArrowType(arrow);
        b->setObjectName(edit->objectName() + name);
        b->setAccessibleName(name == u"Up"_s ? u"Increase"_s : u"Decrease"_s);
        // The box's Up and Down keys do the same, so the arrows stay out of the Tab order.
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        connect(b, &QToolButton::clicked, this, [this, steps] { stepBy(steps); });
        return b;
    };
    up = makeArrow(Qt::UpArrow, u"Up"_s, 1);
    down = makeArrow(Qt::DownArrow, u"Down"_s, -1);

    auto* arrows = new QVBoxLayout;
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    arrows->addWidget(up);
    arrows->addWidget(down);
    auto* l = new QHBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(1);
    l->addWidget(edit);
    l->addLayout(arrows);
}

QString UpDownEdit::text() const
{
    return edit->text();
}

void UpDownEdit::setText(const QString& text)
{
    edit->setText(text);
}

void UpDownEdit::stepBy(int steps)
{
    const std::optional<double> number = ParseNumber(edit->text());
    const int current = number ? WholeNumber(*number) : Minimum - steps;
    edit->setText(QString::number(std::clamp(current + steps, Minimum, Maximum)));
    edit->selectAll();
}

bool UpDownEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != edit || event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    switch (key->key()) {
    case Qt::Key_Up:
        stepBy(1);
        return true;
    case Qt::Key_Down:
        stepBy(-1);
        return true;
    // Moving between controls, confirming, cancelling and deleting forward
    // are no typing.
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return false;
    default:
        break;
    }
    // Shortcuts (copy, paste, select all) go through; what they leave in the
    // box is checked on OK.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = key->text();
    return !text.isEmpty() && RejectNonDigit(text.at(0).unicode());
}

} // namespace orvella
