#pragma once

#include <QString>

namespace orvella {

class MailMessage;
class Settings;

// Text clean-ups that prepare message text for the speech engine. Both run in
// linear time: a message body can be megabytes.

// With spellUpper off, the text lower-cased. With it on: a text holding any
// character above "Z" (lower-case and accented letters included) unchanged,
// so capital words inside ordinary text are spelled; a text written wholly in
// capitals (digits and punctuation aside) lower-cased, so it reads as words.
QString SpeakableCase(const QString& text, bool spellUpper);

// Drops every character listed in symbols, and cuts any run of six or more
// equal characters down to its last five. Texts shorter than 6 characters
// come back unchanged.
QString RemoveSymbols(const QString& text, const QString& symbols);

// The voice tags every spoken text starts with:
// \Pit=<pitch>\\Spd=<speed>\\Chr="<voice>"\ (no blanks).
QString SpeechTagPrefix(const Settings& settings);

// Text from outside (mail, clipboard) must not carry speech tags of its own:
// a "\Mrk=100001\" in a message would fire a bookmark and move the reading on.
// A word joiner after each backslash keeps it a spoken backslash and never a
// tag opener.
QString NeutralizeSpeechTags(const QString& text);

// text as one spoken sentence: trailing blanks and line ends dropped, then a
// full stop unless it already ends in a sentence mark (". ! ? …"), so a
// question is not read as "?." and an empty name leaves no lone ".".
QString Sentence(const QString& text);

// The spoken parts of a message in the user's words: the sender after
// m_MessagePrefix, the subject after m_BeforeSubject (not when blank), the
// body after m_BeforeContent and a line break (not when blank), each in
// speakable case and ended by ". ".
QString ComposeSpokenParts(const Settings& settings, const MailMessage& message, bool sayFrom,
                           bool saySubject, bool sayBody);

} // namespace orvella
