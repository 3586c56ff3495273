#include "app/OrvellaApp.h"

#include "agent/view/AgentEngine.h"
#include "app/CommandLine.h"
#include "core/settings/Program.h"
#include "platform/DataFiles.h"
#include "platform/MakerConfig.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

OrvellaCore::AgentFactory orEngine(OrvellaCore::AgentFactory makeAgent)
{
    if (makeAgent) return makeAgent;
    return [] { return std::unique_ptr<IAgent>(std::make_unique<AgentEngine>()); };
}

} // namespace

OrvellaApp::OrvellaApp(OrvellaCore::AgentFactory makeAgent)
    : m_core(orEngine(std::move(makeAgent))), m_window(m_core), m_tray(m_core, m_window)
{
}

QString OrvellaApp::programFolderFor(const CommandLine& commandLine)
{
    QString folder;
    if (commandLine.hasFolder) {
        folder = commandLine.folder;
    } else {
        bool found = false;
        const QString fromMaker = platform::readMakerValue(u"AppPath"_s, &found);
        folder = found && !fromMaker.isEmpty() ? fromMaker : platform::defaultProgramFolder();
    }
    return QDir::cleanPath(QDir(folder).absolutePath());
}

bool OrvellaApp::load(const CommandLine& commandLine)
{
    auto makerValue = [](const QString& name, const char16_t* fallback) {
        bool found = false;
        const QString v = platform::readMakerValue(name, &found);
        return found && !v.isEmpty() ? v : QString::fromUtf16(fallback);
    };
    Program().SupportEMail = makerValue(u"SupportEMail"_s, DefaultSupportEMail);
    Program().SupportURL = makerValue(u"SupportURL"_s, DefaultSupportURL);
    Program().OtherProductsURL = makerValue(u"OtherProductsURL"_s, DefaultOtherProductsURL);
    Program().AppPath = programFolderFor(commandLine);
    QDir().mkpath(AppPath());
    return m_tray.load(commandLine.systemTray);
}

} // namespace orvella
