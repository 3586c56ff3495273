#include "app/Application.h"

#include "app/CommandLine.h"
#include "app/DialogsAboveCharacter.h"
#include "app/SingleInstance.h"
#include "app/frmTray.h"
#include "platform/TerminationSignals.h"
#include "settings/Program.h"
#include "ui/frmMain.h"

#include <QApplication>
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

    // The character must stand where the settings put it, and a Wayland client
    // may not place its own windows: run through XWayland when it is there.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Orvella"_s);
    QApplication::setApplicationVersion(QStringLiteral(ORVELLA_VERSION));
    QApplication::setDesktopFileName(u"orvella"_s);
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
    const auto outcome = instance.claimOrForward(command);
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

    Program().TraceFile = commandLine.traceFile.isEmpty() ? qEnvironmentVariable("ORVELLA_TRACE")
                                                          : commandLine.traceFile;
    Program().AudioFile = commandLine.audioFile;

    DialogsAboveCharacter dialogsAbove;
    frmTray tray;
    dialogsAbove.agent = [&tray]() -> IAgent* {
        frmMain* main = tray.mainWindow();
        return main && main->core() ? main->agent() : nullptr;
    };
    instance.commandHandler = [&tray](const QString& command) { return tray.HandleCommand(command); };
    // The usual ends of a tray program on this desktop are the session ending
    // and a signal, not its Exit command; neither may lose a setting.
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::received, &tray, &frmTray::Terminate);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &tray, [&tray](QSessionManager&) { tray.SaveAll(); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &tray, &frmTray::Form_Unload);
    if (!tray.Form_Load(commandLine))
        return 1;

    // A command given to the first start is carried out once it runs.
    if (commandLine.checkNow || commandLine.readClipboard)
        QMetaObject::invokeMethod(
            &tray, [&tray, command] { tray.HandleCommand(command); }, Qt::QueuedConnection);

    return app.exec();
}

} // namespace orvella
