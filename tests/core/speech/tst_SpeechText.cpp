#include "core/settings/Settings.h"
#include "core/speech/SpeechText.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

class tst_SpeechText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void speakableCase_data();
    void speakableCase();
    void sentence_data();
    void sentence();
    void removeSymbols_data();
    void removeSymbols();
    void tagPrefix();
    void neutralize();
};

void tst_SpeechText::speakableCase_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("spellUpper");
    QTest::addColumn<QString>("expected");
    QTest::newRow("abbreviation in normal text kept")
        << u"Meeting about the NASA budget"_s << true << u"Meeting about the NASA budget"_s;
    QTest::newRow("all capitals with colon lowered")
        << u"URGENT: CALL ME NOW"_s << true << u"urgent: call me now"_s;
    QTest::newRow("spelling off lowers normal text")
        << u"Meeting about the NASA budget"_s << false << u"meeting about the nasa budget"_s;
    QTest::newRow("spelling off lowers capitals")
        << u"URGENT: CALL ME NOW"_s << false << u"urgent: call me now"_s;
    QTest::newRow("accented letter counts as above Z") << u"CAFÉ"_s << true << u"CAFÉ"_s;
    QTest::newRow("underscore is above Z too") << u"HELLO_WORLD"_s << true << u"HELLO_WORLD"_s;
    QTest::newRow("digits and capitals lowered")
        << u"ORDER 12345 SHIPPED!"_s << true << u"order 12345 shipped!"_s;
    QTest::newRow("empty") << u""_s << true << u""_s;
}

void tst_SpeechText::speakableCase()
{
    QFETCH(QString, text);
    QFETCH(bool, spellUpper);
    QFETCH(QString, expected);
    QCOMPARE(SpeakableCase(text, spellUpper), expected);
}

void tst_SpeechText::sentence_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("spoken");
    QTest::newRow("plain") << u"Subject Lunch"_s << u"Subject Lunch."_s;
    QTest::newRow("question") << u"Are you coming?"_s << u"Are you coming?"_s;
    QTest::newRow("exclamation") << u"Sale!"_s << u"Sale!"_s;
    QTest::newRow("already a stop") << u"Done."_s << u"Done."_s;
    QTest::newRow("ellipsis") << u"Well\u2026"_s << u"Well\u2026"_s;
    QTest::newRow("greeting without a name") << u"Hello "_s << u"Hello."_s;
    QTest::newRow("body ending in line ends") << u"Body\r\n\r\n"_s << u"Body."_s;
    QTest::newRow("empty") << QString() << u"."_s;
}

void tst_SpeechText::sentence()
{
    QFETCH(QString, text);
    QFETCH(QString, spoken);
    QCOMPARE(Sentence(text), spoken);
}

void tst_SpeechText::removeSymbols_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("symbols");
    QTest::addColumn<QString>("expected");
    const QString def = u"<>*~_="_s;
    QTest::newRow("asterisks and tildes")
        << u"this is *bold* and ~strike~ text"_s << def << u"this is bold and strike text"_s;
    QTest::newRow("ten dots keep five") << u"wait.........."_s << def << u"wait....."_s;
    QTest::newRow("short text unchanged") << u"<a>"_s << def << u"<a>"_s;
    QTest::newRow("five chars unchanged even with symbols") << u"<<a>>"_s << def << u"<<a>>"_s;
    QTest::newRow("exactly six equal") << u"------"_s << def << u"-----"_s;
    QTest::newRow("run of symbols vanishes") << u"x ========== y"_s << def << u"x  y"_s;
    QTest::newRow("runs counted before symbols drop") << u"ab*a*a*a*a*a"_s << def << u"abaaaaa"_s;
    QTest::newRow("separator line in body")
        << u"Hi\r\n----------------------\r\nBye"_s << def << u"Hi\r\n-----\r\nBye"_s;
    QTest::newRow("no symbols configured") << u"a*b*c*d"_s << u""_s << u"a*b*c*d"_s;
    QTest::newRow("non-latin symbol") << u"price €5 or €6"_s << u"€"_s << u"price 5 or 6"_s;
}

void tst_SpeechText::removeSymbols()
{
    QFETCH(QString, text);
    QFETCH(QString, symbols);
    QFETCH(QString, expected);
    QCOMPARE(RemoveSymbols(text, symbols), expected);
}

void tst_SpeechText::tagPrefix()
{
    Settings s(u"/nowhere"_s);
    s.m_VoicePitch = 100;
    s.m_VoiceSpeed = 150;
    s.m_VoiceCharacter = u"Whisper"_s;
    QCOMPARE(SpeechTagPrefix(s) + u"Hi"_s, u"\\Pit=100\\\\Spd=150\\\\Chr=\"Whisper\"\\Hi"_s);
}

void tst_SpeechText::neutralize()
{
    QCOMPARE(NeutralizeSpeechTags(u"plain"_s), u"plain"_s);
    const QString out = NeutralizeSpeechTags(u"see \\Mrk=100001\\ here"_s);
    QVERIFY(!out.contains(u"\\Mrk="_s));
    QCOMPARE(QString(out).remove(QChar(0x2060)), u"see \\Mrk=100001\\ here"_s);
}

QTEST_GUILESS_MAIN(tst_SpeechText)
#include "tst_SpeechText.moc"
