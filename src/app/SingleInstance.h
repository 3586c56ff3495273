#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;

namespace orvella {

// One Orvella per user. The running instance listens on a local socket named
// after its tray window, "Orvella Tray"; a second start connects, hands over
// its command and ends. Commands are single lines: "4" opens the main window
// (the tray's command 4), "exit", "check-now", "read-clipboard". The answer is
// one line: "ok", or why the command was not carried out.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    static constexpr char16_t ShowCommand[] = u"4";
    static constexpr char16_t ExitCommand[] = u"exit";
    static constexpr char16_t CheckNowCommand[] = u"check-now";
    static constexpr char16_t ReadClipboardCommand[] = u"read-clipboard";

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket's full path: per user, in $XDG_RUNTIME_DIR when there is one.
    static QString serverName();

    // Either hands command to a running instance (returns Forwarded) or makes
    // this process the running instance (returns Listening). Unanswered: an
    // instance runs but took no command within answerWaitMs (it is busy,
    // stopped or still starting); this process must not take its place.
    // Failed means neither worked; the program then runs without the
    // single-instance guard.
    enum class Outcome { Forwarded, Listening, Unanswered, Failed };
    Outcome claimOrForward(const QString& command);
    // How long a running instance may take to answer a command.
    int answerWaitMs = 20000;
    // Told once the running instance has kept a second start waiting a while.
    std::function<void()> waiting;
    // The running instance's answer to a forwarded command.
    QString reply() const { return m_reply; }

    // Carries out a command from a second start: empty when done, else the
    // reason it was not.
    std::function<QString(const QString& command)> commandHandler;

private:
    enum class Forward { Answered, NoInstance, Silent };
    Forward forward(const QString& command);
    void onNewConnection();

    QLocalServer* m_server = nullptr;
    QString m_reply;
};

} // namespace orvella
