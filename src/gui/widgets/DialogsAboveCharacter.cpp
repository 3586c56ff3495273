#include "gui/widgets/DialogsAboveCharacter.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace orvella {

DialogsAboveCharacter::DialogsAboveCharacter(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

bool DialogsAboveCharacter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Show)
        return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !w->isWindow())
        return false;
    const Qt::WindowFlags f = w->windowFlags();
    if ((f & Qt::WindowStaysOnTopHint) && (f & Qt::Tool) == Qt::Tool && !m_raiseQueued) {
        // After the tool window is on screen, not in its own show.
        m_raiseQueued = true;
        QTimer::singleShot(0, this, &DialogsAboveCharacter::raiseDialogs);
    }
    return false;
}

void DialogsAboveCharacter::raiseDialogs()
{
    m_raiseQueued = false;
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows)
        if (w->isVisible() && qobject_cast<QDialog*>(w))
            w->raise();
}

} // namespace orvella
