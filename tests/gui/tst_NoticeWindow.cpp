#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "gui/dialogs/NoticeWindow.h"
#include "support/FakeAgent.h"
#include "support/Widgets.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using namespace orvella;
using orvella::test::FakeAgent;

class tst_NoticeWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void silentNotice();
    void spokenNoticeAndStopOnClose();
    void showMessageIsModalAndReturns();
};

void tst_NoticeWindow::silentNotice()
{
    Settings settings(u"/nowhere"_s);
    FakeAgent agent;
    SpeechOutput speech(agent, settings);
    NoticeWindow dlg(&speech);
    child<QLabel>(&dlg, u"lblMessage"_s)->setText(u"Your password is not specified."_s);
    dlg.m_ToSay = false;
    dlg.show();
    dlg.activateWindow();
    QTRY_VERIFY(dlg.isActiveWindow());
    QVERIFY(!child<QPushButton>(&dlg, u"cmdSayIt"_s)->isEnabled());
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(agent.calls.isEmpty());
    QCOMPARE(dlg.windowTitle(), u"Orvella Message"_s);
}

void tst_NoticeWindow::spokenNoticeAndStopOnClose()
{
    Settings settings(u"/nowhere"_s);
    settings.m_Behavior = 3; // notices are spoken whatever the behaviour
    settings.m_Hide = true;
    FakeAgent agent;
    SpeechOutput speech(agent, settings);
    NoticeWindow dlg(&speech);
    QCOMPARE(dlg.m_Animation, u"Read"_s);
    child<QLabel>(&dlg, u"lblMessage"_s)->setText(u"Read me"_s);
    dlg.m_ToSay = true;
    dlg.m_Animation = u"Suggest"_s;
    dlg.show();
    dlg.activateWindow();
    QTRY_VERIFY(dlg.isActiveWindow());
    QVERIFY(child<QPushButton>(&dlg, u"cmdSayIt"_s)->isEnabled());
    QCOMPARE(agent.calls,
             (QStringList{u"Show(fast)"_s, u"Play(Suggest)"_s,
                          u"Speak(\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\Read me)"_s, u"Hide(fast)"_s}));
    agent.calls.clear();
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QCOMPARE(agent.calls, (QStringList{u"StopAll"_s, u"Hide(fast)"_s}));
}

void tst_NoticeWindow::showMessageIsModalAndReturns()
{
    bool sawIt = false;
    QTimer::singleShot(100, this, [&] {
        auto* dlg = qobject_cast<NoticeWindow*>(QApplication::activeModalWidget());
        sawIt = dlg && child<QLabel>(dlg, u"lblMessage"_s)->text() == u"notice"_s &&
                !child<QPushButton>(dlg, u"cmdSayIt"_s)->isEnabled();
        if (dlg) child<QPushButton>(dlg, u"cmdOK"_s)->click();
    });
    ShowMessage(nullptr, u"notice"_s, false, u"Read"_s);
    QVERIFY(sawIt);
}

QTEST_MAIN(tst_NoticeWindow)
#include "tst_NoticeWindow.moc"
