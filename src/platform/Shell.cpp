#include "platform/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace orvella::platform {

namespace {
QStringList* shellRecorder = nullptr;
}

void setShellRecorder(QStringList* recorder)
{
    shellRecorder = recorder;
}

void openInShell(const QString& target)
{
    if (target.isEmpty()) return;
    if (shellRecorder) {
        shellRecorder->append(target);
        return;
    }
    const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
    QDesktopServices::openUrl(url);
}

bool startProgram(const QString& commandLine)
{
    if (commandLine.trimmed().isEmpty()) return false;
    // A path with blanks that exists as it stands is one program, not a command line.
    if (QFileInfo(commandLine).isFile()) return QProcess::startDetached(commandLine, {});
    QStringList parts = QProcess::splitCommand(commandLine);
    if (parts.isEmpty()) return false;
    const QString program = parts.takeFirst();
    return QProcess::startDetached(program, parts);
}

} // namespace orvella::platform
