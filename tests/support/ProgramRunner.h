#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace orvella::test {

// Runs the real orvella program as a user would: its own program folder and
// private XDG folders (so the single-instance channel, autostart entry and
// default folders belong to this test alone), on the X server the test runs
// under (xvfb-run) or offscreen.
class ProgramRunner
{
public:
    ProgramRunner();
    ~ProgramRunner();

    QString appPath() const;    // the folder given with -D
    QString runtimeDir() const; // private XDG_RUNTIME_DIR
    QString file(const QString& relative) const { return appPath() + u'/' + relative; }
    QProcessEnvironment environment() const { return m_env; }
    void setEnv(const QString& name, const QString& value) { m_env.insert(name, value); }
    // Offscreen instead of the X server.
    void useOffscreen();

    // Starts the long-running instance with args + "-D <appPath>" (the folder last).
    bool start(const QStringList& args = {});
    // True once the running instance listens on its channel.
    bool waitUntilListening(int timeoutMs = 20000) const;
    // A second start (for example with --exit); returns its exit code, -1 on timeout.
    int runSecond(const QStringList& args, int timeoutMs = 20000, QByteArray* output = nullptr) const;
    // Waits for the first instance to end; its exit code, or -1 on timeout.
    int waitForExit(int timeoutMs = 20000);
    QProcess& process() { return *m_process; }
    QByteArray output() const { return m_output; }

    // The map state of the top-level window titled title ("IsViewable",
    // "IsUnMapped", or empty when there is none), through xwininfo.
    static QString windowMapState(const QString& title);
    // A screenshot of the whole X screen as PNG (through ImageMagick's import).
    static bool screenshot(const QString& pngPath);

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QProcessEnvironment m_env;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_output;
};

} // namespace orvella::test
