#include "support/ProgramRunner.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace orvella::test {

ProgramRunner::ProgramRunner() : m_root(std::make_unique<QTemporaryDir>())
{
    QDir root(m_root->path());
    for (const char16_t* sub : {u"app", u"run", u"config", u"data", u"cache"})
        root.mkpath(QString::fromUtf16(sub));
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(u"XDG_RUNTIME_DIR"_s, runtimeDir());
    m_env.insert(u"XDG_CONFIG_HOME"_s, m_root->filePath(u"config"_s));
    m_env.insert(u"XDG_DATA_HOME"_s, m_root->filePath(u"data"_s));
    m_env.insert(u"XDG_CACHE_HOME"_s, m_root->filePath(u"cache"_s));
    // The test's own offscreen setting must not reach a program meant for the X server.
    if (!m_env.value(u"DISPLAY"_s).isEmpty()) m_env.remove(u"QT_QPA_PLATFORM"_s);
}

ProgramRunner::~ProgramRunner()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

QString ProgramRunner::appPath() const
{
    return m_root->filePath(u"app"_s);
}
QString ProgramRunner::runtimeDir() const
{
    return m_root->filePath(u"run"_s);
}

void ProgramRunner::useOffscreen()
{
    m_env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
}

bool ProgramRunner::start(const QStringList& args)
{
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(m_env);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(m_process.get(), &QProcess::readyRead, m_process.get(),
                     [this] { m_output += m_process->readAll(); });
    m_process->start(QStringLiteral(ORVELLA_BINARY), args + QStringList{u"-D"_s, appPath()});
    return m_process->waitForStarted(10000);
}

bool ProgramRunner::waitUntilListening(int timeoutMs) const
{
    const QString socket = runtimeDir() + u"/Orvella Tray-"_s + QString::number(::getuid());
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        // A socket file left by a killed instance exists but answers nobody.
        if (QFileInfo::exists(socket)) {
            QLocalSocket probe;
            probe.connectToServer(socket);
            if (probe.waitForConnected(500)) {
                probe.disconnectFromServer();
                return true;
            }
        }
        if (m_process && m_process->state() == QProcess::NotRunning) return false;
        QThread::msleep(50);
    }
    return false;
}

int ProgramRunner::runSecond(const QStringList& args, int timeoutMs, QByteArray* output) const
{
    QProcess p;
    p.setProcessEnvironment(m_env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(ORVELLA_BINARY), args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        return -1;
    }
    if (output) *output = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

int ProgramRunner::waitForExit(int timeoutMs)
{
    if (!m_process) return -1;
    if (!m_process->waitForFinished(timeoutMs)) return -1;
    m_output += m_process->readAll();
    return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
}

QString ProgramRunner::windowMapState(const QString& title)
{
    // Several windows may carry the title (Qt keeps 1x1 helper windows); the
    // one that is viewable is the one a user sees.
    QProcess tree;
    tree.start(u"xwininfo"_s, {u"-root"_s, u"-tree"_s});
    if (!tree.waitForFinished(5000) || tree.exitCode() != 0) return {};
    const QString quoted = u'"' + title + u"\":"_s;
    QString state;
    for (const QString& line : QString::fromUtf8(tree.readAllStandardOutput()).split(u'\n')) {
        const QString t = line.trimmed();
        if (!t.contains(quoted)) continue;
        QProcess info;
        info.start(u"xwininfo"_s, {u"-id"_s, t.section(u' ', 0, 0)});
        if (!info.waitForFinished(5000)) continue;
        const QString out = QString::fromUtf8(info.readAllStandardOutput());
        const qsizetype at = out.indexOf(u"Map State:"_s);
        if (at < 0) continue;
        state = out.mid(at + 10).section(u'\n', 0, 0).trimmed();
        if (state == u"IsViewable"_s) return state;
    }
    return state;
}

bool ProgramRunner::screenshot(const QString& pngPath)
{
    QProcess p;
    p.start(u"import"_s, {u"-window"_s, u"root"_s, pngPath});
    return p.waitForFinished(20000) && p.exitCode() == 0 && QFileInfo(pngPath).size() > 0;
}

} // namespace orvella::test
