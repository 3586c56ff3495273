#include "platform/AutoStart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {

// Desktop entry quoting: arguments with blanks or specials in double quotes,
// with ", `, $ and \ escaped.
QString quoteArg(const QString& arg)
{
    static const QString specials = u" \t\n\"'\\><~|&;$*?#()`"_s;
    bool needs = arg.isEmpty();
    for (QChar c : arg)
        needs = needs || specials.contains(c);
    if (!needs) return arg;
    QString out = u"\""_s;
    for (QChar c : arg) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') out += u'\\';
        out += c;
    }
    return out + u'"';
}

} // namespace

QString autoStartFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/autostart/orvella.desktop"_s;
}

void setAutoStart(bool enable, const QString& execLine)
{
    const QString path = autoStartFilePath();
    if (!enable) {
        QFile::remove(path);
        return;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return;
    const QString entry = u"[Desktop Entry]\n"
                          u"Type=Application\n"
                          u"Name=Orvella\n"
                          u"Comment=Reads new mail aloud\n"
                          u"Exec="_s +
                          execLine +
                          u"\n"
                          u"Icon=orvella\n"
                          u"Terminal=false\n"
                          u"X-GNOME-Autostart-enabled=true\n"_s;
    f.write(entry.toUtf8());
    f.commit();
}

void setAutoStartFor(bool enable, const QString& programFolder)
{
    // The switch that keeps the start in the tray; the folder follows "-D" and
    // must come last, because everything after "-D" is the folder.
    QString exec = quoteArg(QCoreApplication::applicationFilePath()) + u" -AUTOSTART"_s;
    const QString defaultFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Orvella"_s;
    if (!programFolder.isEmpty() && QDir(programFolder) != QDir(defaultFolder))
        exec += u" -D "_s + quoteArg(programFolder);
    setAutoStart(enable, exec);
}

bool isAutoStartEnabled()
{
    return QFile::exists(autoStartFilePath());
}

} // namespace orvella::platform
