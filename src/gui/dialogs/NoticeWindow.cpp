#include "gui/dialogs/NoticeWindow.h"
#include "gui/widgets/StayAboveCharacter.h"

#include "core/speech/SpeechOutput.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {
QList<ShownMessage>* messageRecorder = nullptr;
}

void setShowMessageRecorder(QList<ShownMessage>* recorder)
{
    messageRecorder = recorder;
}

NoticeWindow::NoticeWindow(SpeechOutput* speech, QWidget* parent) : QDialog(parent), m_speech(speech)
{
    StayAboveCharacter(this);
    setObjectName(u"frmMessage"_s);
    setWindowTitle(u"Orvella Message"_s);
    m_Animation = u"Read"_s;

    lblMessage = new QLabel(this);
    lblMessage->setObjectName(u"lblMessage"_s);
    lblMessage->setWordWrap(true);
    lblMessage->setTextFormat(Qt::PlainText);
    lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblMessage->setMinimumWidth(360);
    cmdSayIt = new QPushButton(u"&Say It"_s, this);
    cmdSayIt->setObjectName(u"cmdSayIt"_s);
    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdSayIt);
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblMessage, 1);
    layout->addLayout(buttons);

    connect(cmdSayIt, &QPushButton::clicked, this, &NoticeWindow::sayIt);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

bool NoticeWindow::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) {
        cmdSayIt->setEnabled(m_ToSay);
        if (m_ToSay) sayIt();
    }
    return QDialog::event(e);
}

void NoticeWindow::sayIt()
{
    if (m_speech) m_speech->SayAndPlay(lblMessage->text(), m_Animation, true, true);
}

void NoticeWindow::done(int result)
{
    // Closing a speaking notice silences the character at once.
    if (m_ToSay && m_speech) m_speech->StopAgent();
    QDialog::done(result);
}

void ShowMessage(SpeechOutput* speech, const QString& text, bool sayIt, const QString& gesture,
                 QWidget* parent)
{
    if (messageRecorder) {
        messageRecorder->append({text, sayIt, gesture});
        return;
    }
    NoticeWindow dlg(speech, parent);
    dlg.setNotice(text, sayIt, gesture);
    dlg.exec();
}

void NoticeWindow::setNotice(const QString& text, bool sayIt, const QString& gesture)
{
    lblMessage->setText(text);
    m_ToSay = sayIt;
    m_Animation = gesture;
    cmdSayIt->setEnabled(sayIt);
}

} // namespace orvella
