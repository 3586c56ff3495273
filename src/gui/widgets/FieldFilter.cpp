#include "gui/widgets/FieldFilter.h"
#include "gui/widgets/WidgetHelpers.h"

#include "core/settings/IniValues.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

FieldFilter::FieldFilter(QLineEdit* field, Constraints rules) : QObject(field), m_rules(rules)
{
}

void FieldFilter::install(QLineEdit* field, Constraints rules)
{
    if (!field) return;
    field->installEventFilter(new FieldFilter(field, rules));
    // Pasted text never passes the key filter; the validator refuses it whole
    // when it holds what could not be typed.
    if (rules & DigitsOnly)
        field->setValidator(new QRegularExpressionValidator(QRegularExpression(u"[0-9]*"_s), field));
    else if (rules & NoBlank)
        field->setValidator(new QRegularExpressionValidator(QRegularExpression(u"[^ ]*"_s), field));
}

bool FieldFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Only keys that type a character (and Backspace) are judged; arrows,
        // Delete and shortcuts pass as they are, and so do Tab, Return and
        // Escape, whose text is a control character: the keyboard must be
        // able to leave the field and press the dialog's buttons.
        const QString text = key->text();
        const bool typesCharacter = text.size() == 1 &&
                                    (text.front().isPrint() || key->key() == Qt::Key_Backspace) &&
                                    !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
        if (typesCharacter) {
            const int code = key->key() == Qt::Key_Backspace ? 8 : text.front().unicode();
            if ((m_rules & DigitsOnly) && RejectNonDigit(code)) return true;
            if ((m_rules & NoBlank) && code == u' ') return true;
        }
    } else if (event->type() == QEvent::FocusIn && (m_rules & SelectAllOnFocus)) {
        // A click that gives the focus places the cursor after this event;
        // selecting once the event loop turns keeps the whole text selected.
        auto* field = qobject_cast<QLineEdit*>(watched);
        QTimer::singleShot(0, field, [field] { field->selectAll(); });
    }
    return QObject::eventFilter(watched, event);
}

} // namespace orvella
