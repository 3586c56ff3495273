#pragma once

// A program folder of a test's own.

#include "core/settings/Program.h"
#include "platform/ProfileFile.h"
#include "support/Files.h"

#include <QTemporaryDir>
#include <QTest>

namespace orvella::test {

// A fresh, empty program folder (the folder "-D" names) with helpers for the
// files most tests begin with: the settings file and a character file. With
// Homes::Private the configuration and data homes (log-in start, keyring
// fallback, the single-instance channel) are fresh folders as well, so
// nothing a test writes there outlives it or meets another test's.
class ProgramFolder
{
public:
    enum class Homes { Shared, Private };

    explicit ProgramFolder(Homes homes = Homes::Shared)
    {
        QVERIFY(m_dir.isValid() && m_homes.isValid());
        if (homes == Homes::Private) {
            qputenv("XDG_CONFIG_HOME", homePath(QStringLiteral("config")).toUtf8());
            qputenv("XDG_DATA_HOME", homePath(QStringLiteral("data")).toUtf8());
        }
        // A profile file read by an earlier test is no part of this folder.
        platform::invalidateProfileCache();
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    // The program-wide values as a program that has not started has them;
    // the start ("-D") then names this folder.
    static void resetProgram()
    {
        Program() = ProgramValues{};
        platform::invalidateProfileCache();
    }
    // The folder is the program folder now, as after a start.
    void adopt() const { Program().AppPath = path(); }

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // A path in the private homes' folder: "config", "data", ...
    QString homePath(const QString& name) const { return m_homes.filePath(name); }

    QString iniPath() const { return filePath(QStringLiteral("Zentra.INI")); }
    // The whole settings file; the next read sees it.
    void writeIni(const QByteArray& text) const { writeProfile(iniPath(), text); }
    QByteArray readIni() const { return readFile(iniPath()); }
    // The character is a recording fake in these tests: its file only has to exist.
    void writeCharacter(const QByteArray& bytes = "character") const
    {
        writeFile(filePath(QStringLiteral("vela.acs")), bytes);
    }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_homes;
};

} // namespace orvella::test
