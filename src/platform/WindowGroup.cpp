#include "platform/WindowGroup.h"

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace orvella::platform {

namespace {

// WM_HINTS as ICCCM 4.1.2.4 lays it out: nine 32-bit fields; the flag bit
// that says window_group is set. (libxcb-icccm has the same struct; one
// read-modify-write needs no further library.)
constexpr quint32 WindowGroupHint = 1u << 6;
constexpr int WmHintsFields = 9;
constexpr int WindowGroupField = 8;

} // namespace

void leaveWindowGroup(QWidget* window)
{
    if (!window || !qGuiApp || !window->testAttribute(Qt::WA_WState_Created)) return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || xcb_connection_has_error(c)) return;
    const auto id = xcb_window_t(window->winId());

    quint32 hints[WmHintsFields] = {};
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, WmHintsFields), nullptr);
    if (reply) {
        if (reply->format == 32) {
            const int n = std::min(xcb_get_property_value_length(reply) / 4, WmHintsFields);
            std::memcpy(hints, xcb_get_property_value(reply), size_t(n) * 4);
        }
        std::free(reply);
    }
    if (!(hints[0] & WindowGroupHint)) return;
    hints[0] &= ~WindowGroupHint;
    hints[WindowGroupField] = 0;
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, WmHintsFields,
                        hints);
    xcb_flush(c);
}

} // namespace orvella::platform
