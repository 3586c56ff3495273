#pragma once

#include "core/OrvellaCore.h"
#include "gui/MainWindow.h"
#include "gui/TrayIcon.h"

namespace orvella {

struct CommandLine;

// The program as it runs: the core, its main window and its tray icon, made
// and wired here. The core is owned here, not by a window, so it outlives
// them both.
class OrvellaApp
{
public:
    // The real character engine unless another agent is given (tests).
    explicit OrvellaApp(OrvellaCore::AgentFactory makeAgent = {});

    // The maker's addresses, the program folder, then the tray's start-up
    // sequence. False ends the program at once, without saving.
    bool load(const CommandLine& commandLine);

    // The program folder the command line, the maker's settings or the
    // default name give (absolute, cleaned).
    static QString programFolderFor(const CommandLine& commandLine);

    OrvellaCore& core() { return m_core; }
    MainWindow& mainWindow() { return m_window; }
    TrayIcon& tray() { return m_tray; }

private:
    OrvellaCore m_core;
    MainWindow m_window;
    TrayIcon m_tray;
};

} // namespace orvella
