#include "core/rules/Rule.h"

#include "core/message/MailMessage.h"
#include "core/rules/NumberedSections.h"
#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "core/speech/SpeechText.h"
#include "platform/ProfileFile.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

const QString Kind = u"Rule"_s;

void readRule(Rule& r, const QString& s, const QString& path)
{
    r.m_Name = ReadIni(s, u"Name"_s, QString(), path);
    r.m_Type = ReadNumber(ReadIni(s, u"Type"_s, u"0"_s, path));
    r.m_WhatToSay = ReadIni(s, u"WhatToSay"_s, QString(), path);
    r.m_MyMessage = ReadIni(s, u"MyMessage"_s, QString(), path);
    r.m_Gesture = ReadIni(s, u"Gesture"_s, u"Read"_s, path);
    r.m_SoundFile = ReadIni(s, u"SoundFile"_s, QString(), path);
    r.m_SayFrom = IsYes(ReadIni(s, u"SayFrom"_s, u"yes"_s, path));
    r.m_SaySubject = IsYes(ReadIni(s, u"SaySubject"_s, u"yes"_s, path));
    r.m_SayMessage = IsYes(ReadIni(s, u"SayMessage"_s, u"yes"_s, path));
}

void writeRule(platform::ProfileFile& f, const QString& s, const Rule& r)
{
    f.write(s, u"Name"_s, r.m_Name);
    f.write(s, u"WhatToSay"_s, r.m_WhatToSay);
    f.write(s, u"Type"_s, QString::number(r.m_Type));
    f.write(s, u"MyMessage"_s, r.m_MyMessage);
    f.write(s, u"Gesture"_s, r.m_Gesture);
    f.write(s, u"SoundFile"_s, r.m_SoundFile);
    f.write(s, u"SayFrom"_s, YesNo(r.m_SayFrom));
    f.write(s, u"SaySubject"_s, YesNo(r.m_SaySubject));
    f.write(s, u"SayMessage"_s, YesNo(r.m_SayMessage));
}

} // namespace

bool Rule::Contains(const QString& field) const
{
    return field.toLower().contains(m_Name.toLower());
}

bool Rule::Matches(const MailMessage& message) const
{
    switch (m_Type) {
    case 0:
        return Contains(message.EMailAddress()) || Contains(message.From());
    case 1:
        return Contains(message.m_Subject);
    case 2:
        return Contains(message.m_Content);
    case 3:
        return Contains(message.m_FullTo);
    default:
        return false;
    }
}

bool Rule::Say(const MailMessage& message, SpeechOutput& speech) const
{
    if (m_WhatToSay == u"Nothing"_s) return false;
    const Settings& settings = speech.settings();
    QString text;
    if (settings.m_ReadMessageNo && message.m_MesssageIdx != 0)
        text += u"Message Number "_s + QString::number(message.m_MesssageIdx) + u". "_s;
    if (!m_MyMessage.isEmpty()) text += m_MyMessage + u". "_s;
    text += ComposeSpokenParts(settings, message, m_SayFrom, m_SaySubject, m_SayMessage);
    text = RemoveSymbols(speech.CheckFilters(text), settings.m_FilteredSymbols);

    speech.PlayWAVFile(m_SoundFile, u"None"_s, false);
    speech.SendBookmark(message.m_MesssageIdx);
    speech.SayAndPlay(text, m_Gesture, false, true);
    speech.SendBookmark(message.m_MesssageIdx + 100000);
    return true;
}

QString Rule::DisplayName() const
{
    QString tail;
    switch (m_Type) {
    case 0:
        tail = u"sender's name or E-mail address."_s;
        break;
    case 1:
        tail = u"message subject."_s;
        break;
    case 2:
        tail = u"message body."_s;
        break;
    case 3:
        tail = u"recipient's name or E-mail address."_s;
        break;
    default:
        break;
    }
    return u"Look for \""_s + m_Name + u"\" in "_s + tail;
}

QString RulesFilePath()
{
    return AppPath() + u"/Rules.INI"_s;
}

RuleList LoadRules(const QString& path)
{
    return LoadNumberedSections<Rule>(Kind, path, readRule);
}

bool SaveRules(const RuleList& rules, const QString& path)
{
    return SaveNumberedSections(Kind, rules, path, writeRule);
}

bool ApplyRules(const RuleList& rules, const MailMessage& message, SpeechOutput& speech,
                const std::function<bool(const MailMessage&)>& promptForMessage)
{
    const Rule* matched = nullptr;
    for (const Rule& r : rules)
        if (r.Matches(message)) {
            matched = &r;
            break;
        }
    if (!matched) return false;
    // The rule may speak; copy it, since a prompt's event loop may let the list change.
    const Rule rule = *matched;
    const bool goOn = promptForMessage ? promptForMessage(message) : true;
    if (!goOn || !rule.Say(message, speech)) speech.SendBookmarkPair(message.m_MesssageIdx);
    return true;
}

qsizetype IndexOfSameRule(const RuleList& rules, const Rule& rule)
{
    for (qsizetype i = 0; i < rules.size(); ++i)
        if (rules[i].m_Type == rule.m_Type && rules[i].m_Name == rule.m_Name) return i;
    return -1;
}

} // namespace orvella
