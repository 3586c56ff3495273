#include "gui/dialogs/PromptOnceDialog.h"

#include "core/message/MessageListModel.h"
#include "core/speech/SpeechOutput.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

PromptOnceDialog::PromptOnceDialog(SpeechOutput* speech, const QList<MailMessage>& messages, QWidget* parent)
    : QDialog(parent), m_speech(speech)
{
    setObjectName(u"frmPromptOnce"_s);
    setWindowTitle(u"Listen to new messages?"_s);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    lblNewMessages = new QLabel(QString::number(messages.size()) + u" New Message(s)"_s, this);
    lblNewMessages->setObjectName(u"lblNewMessages"_s);
    // Each new message goes on top, so the latest stands first.
    auto* model = new MessageListModel(this);
    for (const MailMessage& m : messages)
        model->prepend(MessageListModel::entryFor(m));
    lstNewMessages = new QTreeView(this);
    lstNewMessages->setObjectName(u"lstNewMessages"_s);
    lstNewMessages->setAccessibleName(u"New messages"_s);
    lstNewMessages->setRootIsDecorated(false);
    lstNewMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstNewMessages->setModel(model);
    lstNewMessages->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lblQuestion = new QLabel(u"Would you like to listen to the new messages now?"_s, this);
    lblQuestion->setObjectName(u"lblQuestion"_s);
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
        if (m_speech) m_speech->StopAgent();
        reject();
    });
}

bool PromptOnceDialog::event(QEvent* e)
{
    // Asked again at every activation, like the program's message window.
    if (e->type() == QEvent::WindowActivate) {
        raise();
        if (m_speech) m_speech->SayAndPlay(u"Want to listen Now?"_s, u"None"_s, false, false);
    }
    return QDialog::event(e);
}

} // namespace orvella
