#include "ui/frmPromptOnce.h"

#include "message/MessageStore.h"
#include "speech/SpeechOutput.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

frmPromptOnce::frmPromptOnce(SpeechOutput* speech, MessageStore* store, const QList<CMessage>& messages,
                             QWidget* parent)
    : QDialog(parent), m_speech(speech)
{
    setObjectName(u"frmPromptOnce"_s);
    setWindowTitle(u"Listen to new messages?"_s);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    lblNewMessages = new QLabel(QString::number(messages.size()) + u" New Message(s)"_s, this);
    lblNewMessages->setObjectName(u"lblNewMessages"_s);
    lstNewMessages = new QTreeWidget(this);
    lstNewMessages->setObjectName(u"lstNewMessages"_s);
    lstNewMessages->setRootIsDecorated(false);
    MessageStore::PrepareList(lstNewMessages);
    if (store)
        for (const CMessage& m : messages)
            store->AddMessageToList(lstNewMessages, m);
    lblQuestion = new QLabel(u"Would you like to listen to the new messages now?"_s, this);
    cmdYes = new QPushButton(u"&Yes"_s, this);
    cmdYes->setObjectName(u"cmdYes"_s);
    cmdYes->setDefault(true);
    cmdNo = new QPushButton(u"&No"_s, this);
    cmdNo->setObjectName(u"cmdNo"_s);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdYes);
    buttons->addWidget(cmdNo);
    auto* l = new QVBoxLayout(this);
    l->addWidget(lblNewMessages);
    l->addWidget(lstNewMessages, 1);
    l->addWidget(lblQuestion);
    l->addLayout(buttons);
    resize(520, 300);

    connect(cmdYes, &QPushButton::clicked, this, [this] {
        m_Yes = true;
        accept();
    });
    connect(cmdNo, &QPushButton::clicked, this, [this] {
        if (m_speech)
            m_speech->StopAgent();
        reject();
    });
}

bool frmPromptOnce::event(QEvent* e)
{
    // Asked again at every activation, like the program's message window.
    if (e->type() == QEvent::WindowActivate) {
        raise();
        if (m_speech)
            m_speech->SayAndPlay(u"Want to listen Now?"_s, u"None"_s, false, false);
    }
    return QDialog::event(e);
}

} // namespace orvella
