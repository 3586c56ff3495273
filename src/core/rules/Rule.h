#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace orvella {

class MailMessage;
class SpeechOutput;

// A rule decides how a matching message is announced: by sender (type 0),
// subject (1), body (2) or recipient (3). "Nothing" silences the message;
// otherwise the rule speaks its own text with a sound and a gesture.
class Rule
{
public:
    QString m_Name;
    int m_Type = 0;
    QString m_WhatToSay;
    QString m_MyMessage;
    QString m_Gesture = QStringLiteral("Read");
    QString m_SoundFile;
    bool m_SayFrom = true;
    bool m_SaySubject = true;
    bool m_SayMessage = true;

    // The rule's text found, ignoring case, in the part of the message its type names.
    bool Matches(const MailMessage& message) const;
    // Speaks the rule's announcement between the message's two bookmarks.
    // False (and nothing done) for a "Nothing" rule.
    bool Say(const MailMessage& message, SpeechOutput& speech) const;
    QString DisplayName() const;

    bool operator==(const Rule&) const = default;

private:
    bool Contains(const QString& field) const;
};

using RuleList = QList<Rule>;

// "Rules.INI" in the program folder.
QString RulesFilePath();
// Sections "Rule 1", "Rule 2", ... until one has no name; a name met twice (in
// any letter case) keeps its first rule.
RuleList LoadRules(const QString& path = RulesFilePath());
// Rewrites the whole file, renumbered from 1 in list order.
bool SaveRules(const RuleList& rules, const QString& path = RulesFilePath());

// The first rule that matches takes the message over (true). It speaks when
// promptForMessage agrees; otherwise, and for a "Nothing" rule, the message is
// passed over with its two bookmarks and nothing between them.
bool ApplyRules(const RuleList& rules, const MailMessage& message, SpeechOutput& speech,
                const std::function<bool(const MailMessage&)>& promptForMessage);

// The rule of the same type and name as rule (-1 when there is none): a
// second one would never be reached.
qsizetype IndexOfSameRule(const RuleList& rules, const Rule& rule);

} // namespace orvella
