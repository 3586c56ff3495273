#include "core/reading/ClipboardReading.h"
#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "support/FakeAgent.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;

namespace {
const QString prefix = u"\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\"_s;
const QString apology =
    u"Sorry. There is no text available in the Clipboard. You can go to any program ( For example your web "
    u"browser or word processor ) and copy a block of text to the clipboard. You can then listen to it, "
    u"using "
    u"the clipboard feature of Orvella."_s;
} // namespace

class tst_ClipboardReading : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reads_data();
    void reads();
    void noText();
};

void tst_ClipboardReading::reads_data()
{
    QTest::addColumn<QString>("clip");
    QTest::addColumn<bool>("spellUpper");
    QTest::addColumn<QString>("spoken");
    QTest::newRow("capitals read as words") << u"BUY MORE MILK"_s << true << u"buy more milk"_s;
    QTest::newRow("mixed keeps capital words") << u"The NATO summit"_s << true << u"The NATO summit"_s;
    QTest::newRow("spelling off lowers all") << u"The NATO summit"_s << false << u"the nato summit"_s;
    QTest::newRow("short text keeps symbols") << u"<a*>"_s << true << u"<a*>"_s;
    QTest::newRow("separator shortened, symbols dropped")
        << u"Intro\n..........\n*end*"_s << true << u"Intro\n.....\nend"_s;
}

void tst_ClipboardReading::reads()
{
    QFETCH(QString, clip);
    QFETCH(bool, spellUpper);
    QFETCH(QString, spoken);
    Settings settings(u"/nowhere"_s);
    settings.m_SpellUpper = spellUpper;
    settings.m_Behavior = 3; // read whatever the behaviour
    settings.m_Hide = false;
    FakeAgent agent;
    SpeechOutput speech(agent, settings);
    QGuiApplication::clipboard()->setText(clip);
    ReadClipboard(speech);
    QCOMPARE(agent.calls,
             (QStringList{u"Show(fast)"_s, u"Play(Read)"_s, u"Speak("_s + prefix + spoken + u')'}));
}

void tst_ClipboardReading::noText()
{
    Settings settings(u"/nowhere"_s);
    settings.m_Hide = false;
    FakeAgent agent;
    SpeechOutput speech(agent, settings);

    QGuiApplication::clipboard()->setImage(QImage(4, 4, QImage::Format_RGB32));
    ReadClipboard(speech);
    QCOMPARE(agent.calls.last(), u"Speak("_s + prefix + apology + u')');

    agent.calls.clear();
    QGuiApplication::clipboard()->clear();
    ReadClipboard(speech);
    QCOMPARE(agent.calls.last(), u"Speak("_s + prefix + apology + u')');
}

QTEST_MAIN(tst_ClipboardReading)
#include "tst_ClipboardReading.moc"
