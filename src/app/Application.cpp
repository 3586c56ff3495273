#include "app/Application.h"

#include "app/CommandLine.h"
#include "app/OrvellaApp.h"
#include "app/SingleInstance.h"
#include "app/TerminationSignals.h"
#include "core/settings/Program.h"
#include "gui/MainWindow.h"
#include "gui/widgets/Dialogs.h"
#include "gui/widgets/DialogsAboveCharacter.h"
#include "platform/BusProbe.h"
#include "platform/FolderLock.h"
#include "platform/WindowSystem.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QSessionManager>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

QStringList argumentsOf(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

} // namespace

int runApplication(int argc, char** argv)
{
    const CommandLine commandLine = CommandLine::parse(argumentsOf(argc, argv));
    if (commandLine.help) {
        std::fputs(CommandLine::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (commandLine.version) {
        std::printf("Orvella %s\n", ORVELLA_VERSION);
        return 0;
    }
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "orvella: %s\nTry 'orvella --help'.\n", qPrintable(commandLine.error));
        return 2;
    }

    // The character must stand where the settings put it and stay on top, and
    // a Wayland client may do neither: XWayland wherever it is there.
    platform::chooseWindowSystem();

    // Before the application object: Qt's accessibility bridge and tray wait
    // on the session bus without a time limit, and they come with the first
    // window.
    const QString busNotice = platform::BusProbe::keepSilentBusesAway();

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Orvella"_s);
    QApplication::setApplicationVersion(QStringLiteral(ORVELLA_VERSION));
    // The desktop finds the program's name and icon for its windows (the
    // Wayland app id) through the installed desktop entry of this name.
    QApplication::setDesktopFileName(QStringLiteral(ORVELLA_APP_ID));
    QApplication::setWindowIcon(QIcon(u":/icons/orvella.svg"_s));
    QApplication::setQuitOnLastWindowClosed(false);

    QString command = QString::fromUtf16(SingleInstance::ShowCommand);
    if (commandLine.exit)
        command = QString::fromUtf16(SingleInstance::ExitCommand);
    else if (commandLine.checkNow)
        command = QString::fromUtf16(SingleInstance::CheckNowCommand);
    else if (commandLine.readClipboard)
        command = QString::fromUtf16(SingleInstance::ReadClipboardCommand);

    SingleInstance instance;
    instance.waiting = [] { std::fputs("orvella: waiting for the running Orvella to answer...\n", stderr); };
    const auto outcome = instance.claimOrForward(command);
    if (outcome == SingleInstance::Outcome::Unanswered) {
        // Taking its place would make two programs store the same mail.
        std::fputs("orvella: Orvella is running but does not answer (it may be busy or stopped). "
                   "Try again in a moment.\n",
                   stderr);
        return 1;
    }
    if (outcome == SingleInstance::Outcome::Forwarded) {
        // The running instance said why it did not carry the command out.
        if (instance.reply() != u"ok"_s && !instance.reply().isEmpty()) {
            std::fprintf(stderr, "orvella: %s\n", qPrintable(instance.reply()));
            return 3;
        }
        return 0;
    }
    if (commandLine.exit) {
        std::fputs("orvella: Orvella is not running.\n", stderr);
        return 1;
    }

    // One program per folder, whichever session started it: two would store
    // every new message twice.
    platform::FolderLock folderLock;
    const QString folder = OrvellaApp::programFolderFor(commandLine);
    QDir().mkpath(folder);
    if (folderLock.lock(folder) == platform::FolderLock::Result::Held) {
        const QString text =
            u"Orvella is already running with the folder "_s + QDir::toNativeSeparators(folder) +
            (folderLock.holder() > 0 ? u" (process %1)"_s.arg(folderLock.holder()) : QString()) +
            u", perhaps in another session. Only one Orvella can use a folder at a time: end the other one "
            u"first, or start this one with another folder (-D)."_s;
        std::fprintf(stderr, "orvella: %s\n", qPrintable(text));
        if (!commandLine.systemTray) Dialogs::inform(nullptr, u"Orvella"_s, text, QMessageBox::Warning);
        return 4;
    }

    Program().TraceFile =
        commandLine.traceFile.isEmpty() ? qEnvironmentVariable("ORVELLA_TRACE") : commandLine.traceFile;
    Program().AudioFile = commandLine.audioFile;
    Program().BusNotice = busNotice;

    DialogsAboveCharacter dialogsAbove;
    OrvellaApp program;
    TrayIcon& tray = program.tray();
    dialogsAbove.agent = [&program]() -> IAgent* { return program.core().agent(); };
    instance.commandHandler = [&tray](const QString& command) { return tray.HandleCommand(command); };
    // The usual ends of a tray program on this desktop are the session ending
    // and a signal, not its Exit command; neither may lose a setting.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &tray, &TrayIcon::Terminate);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &tray,
                     [&tray](QSessionManager&) { tray.SaveAll(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &tray, &TrayIcon::unload);
    if (!program.load(commandLine)) return 1;

    // A command given to the first start is carried out once it runs.
    if (commandLine.checkNow || commandLine.readClipboard)
        QMetaObject::invokeMethod(
            &tray, [&tray, command] { tray.HandleCommand(command); }, Qt::QueuedConnection);

    return app.exec();
}

} // namespace orvella
