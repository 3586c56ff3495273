#include "app/DialogsAboveCharacter.h"

#include "speech/agent/IAgent.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace orvella {

namespace {

bool isDialog(const QWidget* w)
{
    return w && w->isWindow() && qobject_cast<const QDialog*>(w);
}

// A window of its own that does not hold the program up: a reminder's alert.
bool isAlert(const QWidget* w)
{
    return isDialog(w) && !w->isModal() && !w->parentWidget();
}

} // namespace

DialogsAboveCharacter::DialogsAboveCharacter(QObject* parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

bool DialogsAboveCharacter::eventFilter(QObject* watched, QEvent* event)
{
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !w->isWindow()) return false;
    switch (event->type()) {
    case QEvent::Show: {
        const Qt::WindowFlags f = w->windowFlags();
        if ((f & Qt::WindowStaysOnTopHint) && (f & Qt::Tool) == Qt::Tool && !m_raiseQueued) {
            // After the tool window is on screen, not in its own show.
            m_raiseQueued = true;
            QTimer::singleShot(0, this, &DialogsAboveCharacter::raiseDialogs);
        }
        [[fallthrough]];
    }
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
        if (isDialog(w) && !m_areasQueued) {
            m_areasQueued = true;
            QTimer::singleShot(0, this, &DialogsAboveCharacter::updateKeepClear);
        }
        // Once the window manager has framed a new dialog, its frame is known.
        if (event->type() == QEvent::Show && isDialog(w))
            QTimer::singleShot(300, this, &DialogsAboveCharacter::updateKeepClear);
        if (event->type() == QEvent::Hide && isDialog(w) && w->windowHandle())
            releaseAlerts(w->windowHandle());
        break;
    case QEvent::WindowBlocked:
        if (isAlert(w)) keepAlertUsable(w);
        break;
    default:
        break;
    }
    return false;
}

void DialogsAboveCharacter::raiseDialogs()
{
    m_raiseQueued = false;
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows)
        if (w->isVisible() && qobject_cast<QDialog*>(w)) w->raise();
}

void DialogsAboveCharacter::updateKeepClear()
{
    m_areasQueued = false;
    IAgent* character = agent ? agent() : nullptr;
    if (!character) return;
    QList<QRect> areas;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!isDialog(w) || !w->isVisible()) continue;
        // Until the window manager has framed it, a dialog's frame is not
        // known: room for a title bar and borders is kept all the same.
        const QRect frame = w->frameGeometry();
        areas << (frame == w->geometry() ? frame.adjusted(-8, -32, 8, 8) : frame);
    }
    character->setKeepClear(areas);
}

// Qt does not block a window that belongs to the modal dialog itself: the
// alert is made the dialog's window for as long as the dialog is open. The
// window manager then keeps it above that dialog, where it can be used.
void DialogsAboveCharacter::keepAlertUsable(QWidget* alert)
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == alert || !modal->windowHandle() || !alert->windowHandle()) return;
    alert->windowHandle()->setTransientParent(modal->windowHandle());
}

void DialogsAboveCharacter::releaseAlerts(QWindow* dialog)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!isAlert(w) || !w->windowHandle() || w->windowHandle()->transientParent() != dialog) continue;
        // A dialog opened from the closing one (a nested modal) may still be
        // open: the alert goes on belonging to that one.
        QWidget* modal = QApplication::activeModalWidget();
        QWindow* next =
            modal && modal->isVisible() && modal->windowHandle() != dialog ? modal->windowHandle() : nullptr;
        w->windowHandle()->setTransientParent(next);
    }
}

} // namespace orvella
