#include "agent/view/DesktopCompositor.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace orvella {

namespace {

// XFixes' SelectionNotify, event 0 of the extension, as it comes over the
// wire. Qt's xcb plugin already asks for these on the compositor selection
// (it tracks compositing itself but does not publish it), so we only listen;
// libxcb-xfixes would add nothing here but this layout.
struct XFixesSelectionNotify
{
    quint8 responseType;
    quint8 subtype;
    quint16 sequence;
    quint32 window;
    quint32 owner;
    quint32 selection;
    quint32 timestamp;
    quint32 selectionTimestamp;
    quint8 pad[8];
};
static_assert(sizeof(XFixesSelectionNotify) == 32);

xcb_connection_t* xcbConnection()
{
    if (!qGuiApp) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    return c && !xcb_connection_has_error(c) ? c : nullptr;
}

int defaultScreen()
{
    char* host = nullptr;
    int display = 0, screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen)) screen = 0;
    std::free(host);
    return screen;
}

// The X screen a window lives on: the index of its root among the display's
// roots. A window never changes screens on X11.
int screenOf(xcb_connection_t* c, const QWidget* window)
{
    if (!window || !window->testAttribute(Qt::WA_WState_Created)) return defaultScreen();
    xcb_generic_error_t* error = nullptr;
    xcb_get_geometry_reply_t* g =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, xcb_drawable_t(window->winId())), &error);
    std::free(error);
    if (!g) return defaultScreen();
    const xcb_window_t root = g->root;
    std::free(g);
    int n = 0;
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem;
         xcb_screen_next(&it), ++n)
        if (it.data->root == root) return n;
    return defaultScreen();
}

} // namespace

DesktopCompositor* DesktopCompositor::instance()
{
    static QPointer<DesktopCompositor> self;
    if (!self && qGuiApp) self = new DesktopCompositor(qGuiApp);
    return self.data();
}

DesktopCompositor::DesktopCompositor(QObject* parent) : QObject(parent)
{
    xcb_connection_t* c = xcbConnection();
    if (!c) return;
    xcb_generic_error_t* error = nullptr;
    static const char Name[] = "XFIXES";
    xcb_query_extension_reply_t* ext =
        xcb_query_extension_reply(c, xcb_query_extension(c, sizeof(Name) - 1, Name), &error);
    std::free(error);
    if (ext && ext->present) {
        m_xfixesEvent = ext->first_event;
        qGuiApp->installNativeEventFilter(this);
    }
    std::free(ext);
}

quint32 DesktopCompositor::selectionAtom(int screen)
{
    auto it = m_atoms.constFind(screen);
    if (it != m_atoms.cend()) return *it;
    xcb_connection_t* c = xcbConnection();
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    xcb_generic_error_t* error = nullptr;
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, quint16(name.size()), name.constData()), &error);
    std::free(error);
    const quint32 atom = r ? r->atom : 0;
    std::free(r);
    if (atom) m_atoms.insert(screen, atom);
    return atom;
}

bool DesktopCompositor::isActive(const QWidget* window)
{
    xcb_connection_t* c = xcbConnection();
    if (!c) return true;
    const quint32 atom = selectionAtom(screenOf(c, window));
    // An X server that cannot even name the selection is in no state to
    // compose; shaped windows are the safe choice there.
    if (!atom) return false;
    xcb_generic_error_t* error = nullptr;
    xcb_get_selection_owner_reply_t* r =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), &error);
    std::free(error);
    const bool owned = r && r->owner != XCB_NONE;
    std::free(r);
    noteOwner(atom, owned);
    return owned;
}

void DesktopCompositor::noteOwner(quint32 atom, bool owned)
{
    auto it = m_owned.find(atom);
    if (it == m_owned.end()) {
        m_owned.insert(atom, owned);
        return;
    }
    if (*it == owned) return;
    *it = owned;
    // Not from inside the X event dispatch: the windows answer with requests of their own.
    QMetaObject::invokeMethod(this, &DesktopCompositor::changed, Qt::QueuedConnection);
}

bool DesktopCompositor::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (m_xfixesEvent < 0 || eventType != "xcb_generic_event_t") return false;
    const auto* e = static_cast<const xcb_generic_event_t*>(message);
    if ((e->response_type & 0x7f) != m_xfixesEvent) return false;
    XFixesSelectionNotify n;
    std::memcpy(&n, message, sizeof n);
    if (m_owned.contains(n.selection)) noteOwner(n.selection, n.owner != XCB_NONE);
    return false; // Qt needs it too
}

} // namespace orvella
