#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace orvella::test {

// The control named name in window (a widget, an action, a page), found the
// way the accessibility tests find it: by its object name. Controls are
// private to their window; a name that finds nothing ends the test run with
// the name, so a renamed control is caught at once.
template <typename T> T* child(const QObject* window, const QString& name)
{
    T* found = window ? window->findChild<T*>(name) : nullptr;
    if (!found)
        qFatal("No control named \"%s\" of the wanted kind in %s", qPrintable(name),
               window ? qPrintable(window->objectName()) : "(no window)");
    return found;
}

// The same for a window held by a smart pointer.
template <typename T, typename Owner>
requires requires(const Owner& owner)
{
    owner.get();
}
T* child(const Owner& window, const QString& name)
{
    return child<T>(static_cast<const QObject*>(window.get()), name);
}

} // namespace orvella::test
