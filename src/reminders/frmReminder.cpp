#include "reminders/frmReminder.h"

#include "platform/Clock.h"
#include "speech/SpeechOutput.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

frmReminder::frmReminder(SpeechOutput* speech, QWidget* parent) : QDialog(parent), m_speech(speech)
{
    setObjectName(u"frmReminder"_s);
    setWindowTitle(u"Reminder!"_s);
    setWindowIcon(QIcon(u":/icons/reminder-enabled.svg"_s));
    // Above every other window from the start, so it is never buried under
    // the window the user is working in.
    setWindowFlag(Qt::WindowStaysOnTopHint);

    lblReminder = new QLabel(u"Reminder"_s, this);
    lblReminder->setObjectName(u"lblReminder"_s);
    QFont bold = lblReminder->font();
    bold.setBold(true);
    lblReminder->setFont(bold);
    lblWhen = new QLabel(WhenText(platform::now(), QLocale()), this);
    lblWhen->setObjectName(u"lblWhen"_s);
    lblWhen->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);

    txtReminder = new QPlainTextEdit(this);
    txtReminder->setObjectName(u"txtReminder"_s);
    txtReminder->setReadOnly(true);
    // Keyboard users move on with Tab; read-only text keeps a caret to read by.
    txtReminder->setTabChangesFocus(true);
    txtReminder->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    txtReminder->setAccessibleName(u"Reminder"_s);
    txtReminder->setAccessibleDescription(lblWhen->text());
    lblReminder->setBuddy(txtReminder);

    cmdDismiss = new QPushButton(u"&Close"_s, this);
    cmdDismiss->setObjectName(u"cmdDismiss"_s);
    cmdDismiss->setDefault(true);
    cmdStopTalking = new QPushButton(u"&Stop Talking"_s, this);
    cmdStopTalking->setObjectName(u"cmdStopTalking"_s);
    cmdDismissAndStop = new QPushButton(u"Close &and Stop Talking"_s, this);
    cmdDismissAndStop->setObjectName(u"cmdDismissAndStop"_s);

    auto* top = new QHBoxLayout;
    top->addWidget(lblReminder);
    top->addStretch(1);
    top->addWidget(lblWhen);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdDismiss);
    buttons->addWidget(cmdStopTalking);
    buttons->addWidget(cmdDismissAndStop);
    auto* l = new QVBoxLayout(this);
    l->addLayout(top);
    l->addWidget(txtReminder, 1);
    l->addLayout(buttons);
    resize(460, 240);

    setTabOrder(txtReminder, cmdDismiss);
    setTabOrder(cmdDismiss, cmdStopTalking);
    setTabOrder(cmdStopTalking, cmdDismissAndStop);

    connect(cmdDismiss, &QPushButton::clicked, this, &frmReminder::cmdDismiss_Click);
    connect(cmdStopTalking, &QPushButton::clicked, this, &frmReminder::cmdStopTalking_Click);
    connect(cmdDismissAndStop, &QPushButton::clicked, this, &frmReminder::cmdDismissAndStop_Click);
}

QString frmReminder::WhenText(const QDateTime& moment, const QLocale& locale)
{
    return locale.toString(moment.time(), u"hh:mm AP"_s) + u",  "_s +
           locale.toString(moment.date(), QLocale::LongFormat);
}

void frmReminder::setReminderText(const QString& text)
{
    QString shown = text;
    shown.replace(u"\r\n"_s, u"\n"_s);
    txtReminder->setPlainText(shown);
}

void frmReminder::cmdDismiss_Click()
{
    close();
}

void frmReminder::cmdStopTalking_Click()
{
    if (m_speech) m_speech->StopAgent();
}

void frmReminder::cmdDismissAndStop_Click()
{
    cmdStopTalking_Click();
    cmdDismiss_Click();
}

frmReminder* frmReminder::Open(SpeechOutput* speech, const QString& text)
{
    // A window of its own, not owned by another window: the reminder that
    // opened it closes it when it opens the next one or goes away.
    auto* w = new frmReminder(speech);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setReminderText(text);
    w->show();
    // Shown, a window that is not modal waits for the window manager to give
    // it the keyboard, which may never happen; a screen reader only announces
    // the window that has it. The desktop's focus rules still have the last word.
    w->activateWindow();
    w->txtReminder->setFocus();
    return w;
}

} // namespace orvella
