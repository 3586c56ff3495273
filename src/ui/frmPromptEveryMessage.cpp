#include "ui/frmPromptEveryMessage.h"

#include "speech/SpeechOutput.h"
#include "speech/SpeechText.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

frmPromptEveryMessage::frmPromptEveryMessage(SpeechOutput* speech, const CMessage& message, QWidget* parent)
    : QDialog(parent), m_speech(speech)
{
    setObjectName(u"frmPromptEveryMessage"_s);
    setWindowTitle(u"Listen to message from "_s + message.Sender() + u"?"_s);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    lblMessageNo = new QLabel(u"Message Number "_s + QString::number(message.m_MesssageIdx) + u"."_s, this);
    lblFrom = new QLabel(message.Sender(), this);
    lblFrom->setObjectName(u"lblFrom"_s);
    lblSubject = new QLabel(message.m_Subject, this);
    lblSubject->setObjectName(u"lblSubject"_s);
    for (QLabel* l : {lblFrom, lblSubject})
        l->setTextFormat(Qt::PlainText);
    lblQuestion = new QLabel(u"Would you like to listen to this message now?"_s, this);
    cmdYes = new QPushButton(u"&Yes"_s, this);
    cmdYes->setObjectName(u"cmdYes"_s);
    cmdYes->setDefault(true);
    cmdNo = new QPushButton(u"&No"_s, this);
    cmdNo->setObjectName(u"cmdNo"_s);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblMessageNo, 0, 0, 1, 2);
    grid->addWidget(new QLabel(u"Message From"_s, this), 1, 0);
    grid->addWidget(lblFrom, 1, 1);
    grid->addWidget(new QLabel(u"Subject:"_s, this), 2, 0);
    grid->addWidget(lblSubject, 2, 1);
    grid->addWidget(lblQuestion, 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdYes);
    buttons->addWidget(cmdNo);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(cmdYes, &QPushButton::clicked, this, [this] {
        m_Yes = true;
        accept();
    });
    connect(cmdNo, &QPushButton::clicked, this, &QDialog::reject);
}

bool frmPromptEveryMessage::event(QEvent* e)
{
    // Asked again at every activation, so a user who went elsewhere hears
    // the question again on coming back.
    if (e->type() == QEvent::WindowActivate) {
        raise();
        if (m_speech)
            m_speech->SayAndPlay(u"Listen to message from "_s + NeutralizeSpeechTags(lblFrom->text()) + u"?"_s,
                                 u"None"_s, false, false);
    }
    return QDialog::event(e);
}

} // namespace orvella
