#include "gui/dialogs/PromptDialog.h"

#include "core/message/MessageListModel.h"
#include "core/speech/SpeechOutput.h"
#include "core/speech/SpeechText.h"
#include "gui/widgets/StayAboveCharacter.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

PromptDialog::PromptDialog(Mode mode, SpeechOutput* speech, const QList<MailMessage>& messages,
                           QWidget* parent)
    : QDialog(parent), m_speech(speech), m_mode(mode)
{
    StayAboveCharacter(this);
    auto* l = new QVBoxLayout(this);
    if (mode == Mode::Once) {
        setObjectName(u"frmPromptOnce"_s);
        setWindowTitle(u"Listen to new messages?"_s);
        m_spokenQuestion = u"Want to listen Now?"_s;
        l->addLayout(buildMessageList(messages), 1);
    } else {
        const MailMessage message = messages.value(0);
        setObjectName(u"frmPromptEveryMessage"_s);
        setWindowTitle(u"Listen to message from "_s + message.Sender() + u"?"_s);
        // The sender comes from the mail: its backslashes must never open a speech tag.
        m_spokenQuestion = u"Listen to message from "_s + NeutralizeSpeechTags(message.Sender()) + u"?"_s;
        l->addLayout(buildMessageSummary(message));
    }

    lblQuestion = new QLabel(mode == Mode::Once ? u"Would you like to listen to the new messages now?"_s
                                                : u"Would you like to listen to this message now?"_s,
                             this);
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
    l->addWidget(lblQuestion);
    l->addLayout(buttons);
    if (mode == Mode::Once) resize(520, 300);

    connect(cmdYes, &QPushButton::clicked, this, [this] {
        m_Yes = true;
        accept();
    });
    connect(cmdNo, &QPushButton::clicked, this, [this] {
        // Declining all the new messages silences what the character was saying.
        if (m_mode == Mode::Once && m_speech) m_speech->StopAgent();
        reject();
    });
}

QLayout* PromptDialog::buildMessageList(const QList<MailMessage>& messages)
{
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

    auto* l = new QVBoxLayout;
    l->addWidget(lblNewMessages);
    l->addWidget(lstNewMessages, 1);
    return l;
}

QLayout* PromptDialog::buildMessageSummary(const MailMessage& message)
{
    lblMessageNo = new QLabel(u"Message Number "_s + QString::number(message.m_MesssageIdx) + u"."_s, this);
    lblMessageNo->setObjectName(u"lblMessageNo"_s);
    lblFrom = new QLabel(message.Sender(), this);
    lblFrom->setObjectName(u"lblFrom"_s);
    lblSubject = new QLabel(message.m_Subject, this);
    lblSubject->setObjectName(u"lblSubject"_s);
    for (QLabel* l : {lblFrom, lblSubject})
        l->setTextFormat(Qt::PlainText);

    auto* grid = new QGridLayout;
    grid->addWidget(lblMessageNo, 0, 0, 1, 2);
    grid->addWidget(new QLabel(u"Message From"_s, this), 1, 0);
    grid->addWidget(lblFrom, 1, 1);
    grid->addWidget(new QLabel(u"Subject:"_s, this), 2, 0);
    grid->addWidget(lblSubject, 2, 1);
    grid->setColumnStretch(1, 1);
    return grid;
}

bool PromptDialog::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) {
        raise();
        if (m_speech) m_speech->SayAndPlay(m_spokenQuestion, u"None"_s, false, false);
    }
    return QDialog::event(e);
}

} // namespace orvella
