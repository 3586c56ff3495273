#pragma once

#include "app/CommandLine.h"
#include "app/OrvellaApp.h"
#include "support/FakeAgent.h"

#include <memory>

namespace orvella::test {

// The whole program in the test's process, with the recording character: the
// core, the main window and the tray, as main() makes them. It stands for the
// tray icon (->), through which the tests drive it; unloading does not end
// the test's event loop.
class AppRig
{
public:
    AppRig()
        : m_app(std::make_unique<OrvellaApp>(
              [] { return std::unique_ptr<IAgent>(std::make_unique<FakeAgent>()); }))
    {
        m_app->tray().quitOnUnload = false;
    }

    // No program: what a failed start leaves.
    explicit AppRig(std::nullptr_t) {}

    bool load(const CommandLine& commandLine) { return m_app->load(commandLine); }
    TrayIcon* operator->() const { return m_app ? &m_app->tray() : nullptr; }
    TrayIcon* get() const { return m_app ? &m_app->tray() : nullptr; }
    OrvellaApp& app() const { return *m_app; }
    explicit operator bool() const { return m_app != nullptr; }
    void reset() { m_app.reset(); }

private:
    std::unique_ptr<OrvellaApp> m_app;
};

} // namespace orvella::test
