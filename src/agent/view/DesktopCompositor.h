#pragma once

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QObject>

class QWidget;

namespace orvella {

// Whether the desktop blends translucent windows with what lies below them.
//
// On X11 that takes a compositing manager, which owns the selection
// "_NET_WM_CM_S<screen>" while it runs. Plain Xvfb, many lightweight window
// managers and remote X sessions run none; there the clear pixels of a
// translucent window show as solid black. Wayland and the offscreen platform
// always compose.
class DesktopCompositor : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    // nullptr before the application object exists.
    static DesktopCompositor* instance();

    // Asks the display now, for the X screen the window lives on (the default
    // screen while it has no native window). Two short round trips on X11.
    bool isActive(const QWidget* window);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    // A compositing manager started or stopped on one of the screens we asked about.
    void changed();

private:
    explicit DesktopCompositor(QObject* parent);

    quint32 selectionAtom(int screen);
    void noteOwner(quint32 atom, bool owned);

    int m_xfixesEvent = -1;       // XFixes' first event code; -1: not known (yet)
    QHash<int, quint32> m_atoms;  // X screen -> _NET_WM_CM_S<screen>
    QHash<quint32, bool> m_owned; // atom -> a compositor owned it when last seen
};

} // namespace orvella
