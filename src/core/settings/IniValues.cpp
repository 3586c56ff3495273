#include "core/settings/IniValues.h"

#include "core/settings/Program.h"
#include "platform/AutoStart.h"
#include "platform/ProfileFile.h"
#include "platform/Shell.h"

#include <cmath>
#include <cstdlib>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

QString ReadIni(const QString& section, const QString& key, const QString& defaultValue, const QString& file)
{
    return platform::readProfileString(file, section, key, defaultValue);
}

QString YesNo(bool value)
{
    return value ? u"Yes"_s : u"No"_s;
}

bool IsYes(const QString& value)
{
    return value.toLower() == u"yes"_s;
}

int ReadNumber(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
    const qsizetype digitsStart = i;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128)
        ++i;
    bool anyDigit = i > digitsStart;
    if (i < n && text[i] == u'.') {
        qsizetype j = i + 1;
        while (j < n && text[j].isDigit() && text[j].unicode() < 128)
            ++j;
        anyDigit = anyDigit || j > i + 1;
        i = j;
    }
    if (!anyDigit) return 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) ++j;
        const qsizetype expDigits = j;
        while (j < n && text[j].isDigit() && text[j].unicode() < 128)
            ++j;
        if (j > expDigits) i = j;
    }
    // strtod saturates to infinity where QString::toDouble gives up.
    const QByteArray number = QStringView(text).mid(start, i - start).toLatin1();
    const double value = std::strtod(number.constData(), nullptr);
    if (std::isnan(value)) return 0;
    const double rounded = std::nearbyint(value); // the default rounding mode is halves to even
    if (rounded >= double(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (rounded <= double(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return int(rounded);
}

QString NumberText(qint64 value)
{
    return QString::number(value);
}

void SetAutoStart(bool enable)
{
    platform::setAutoStartFor(enable, AppPath());
}

bool IsAutoStartEnabled()
{
    return platform::isAutoStartEnabled();
}

void ShellOpen(const QString& target)
{
    platform::openInShell(target);
}

} // namespace orvella
