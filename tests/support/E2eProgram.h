#pragma once

#include "support/ProgramRunner.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace orvella::test {

// The real orvella program seen from outside, for end-to-end tests of the
// mail check: a fresh program folder, the character's trace (with the status
// bar's texts as "status" and the Error page's text as "error"), all audio
// into a WAV file, and the commands of a second start.
class E2eProgram
{
public:
    E2eProgram();

    ProgramRunner& runner() { return m_runner; }
    const ProgramRunner& runner() const { return m_runner; }
    QString file(const QString& relative) const { return m_runner.file(relative); }
    QString tracePath() const { return m_tracePath; }

    // Writes "Zentra.INI" as it stands (CR LF line ends).
    bool writeSettings(const QByteArray& ini) const;
    // Starts the program hidden in the tray (-AUTOSTART) with the trace and
    // the audio file, and waits until it listens for a second start.
    bool start();
    // Hands "--check-now" to the running program and waits until the check
    // of `accounts` accounts has logged off everywhere ("Idle."). A command
    // that comes while the previous check or its reading still runs is
    // refused by the program (exit code 3), so it is sent again until a
    // check starts.
    bool checkNow(int accounts = 1, int timeoutMs = 40000);
    // Waits until `count` status texts equal to text have been traced.
    bool waitForStatus(const QString& text, int count, int timeoutMs = 40000) const;
    // Waits until a traced request of kind contains text.
    bool waitForTraced(const QString& kind, const QString& text, int timeoutMs = 20000) const;
    // "--exit" through a second start; true when the program ended cleanly.
    bool exit();

    QList<QJsonObject> trace() const;
    // The arguments of every traced line of kind, in order.
    QStringList traced(const QString& kind) const;
    // The Error page's texts but the notice that the passwords stay in the
    // settings file, which every start without a keyring gives (these tests
    // run without one).
    QStringList checkErrors() const;
    // Whether that notice was given.
    bool keyringNoticeGiven() const;
    // The message files in "msg".
    QStringList storedMessages() const;
    // The lines of an identifier file ("Account.DAT" for the first account).
    QStringList identifiers(const QString& file = QStringLiteral("Account.DAT")) const;
    // A value of "Zentra.INI" as the file holds it now.
    QString setting(const QString& section, const QString& key) const;
    QString output() const { return QString::fromLocal8Bit(m_runner.output()); }

private:
    ProgramRunner m_runner;
    QString m_tracePath;
    QString m_audioPath;
};

} // namespace orvella::test
