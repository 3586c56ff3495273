#include "ui/frmView.h"
#include "ui/StayAboveCharacter.h"

#include "ui/ModalDialogFlag.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

frmView::frmView(const CMessage& message, QWidget* parent) : QDialog(parent), m_Message(message)
{
    StayAboveCharacter(this);
    setObjectName(u"frmView"_s);
    setWindowTitle(Caption(m_Message));
    setSizeGripEnabled(true);

    txtMessage = new QPlainTextEdit(this);
    txtMessage->setObjectName(u"txtMessage"_s);
    txtMessage->setAccessibleName(u"Message"_s);
    txtMessage->setReadOnly(true);
    // A caret that the arrow keys move, so the text scrolls and a screen
    // reader reads it line by line; Tab still leaves for the button.
    txtMessage->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtMessage->setTabChangesFocus(true);
    txtMessage->setFocusPolicy(Qt::StrongFocus);
    // Mail is often laid out for a fixed-width font (tables, quoted replies, signatures).
    txtMessage->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QString shown = MessageText(m_Message);
    shown.replace(u"\r\n"_s, u"\n"_s);
    shown.replace(u'\r', u'\n');
    txtMessage->setPlainText(shown);

    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setAccessibleName(u"OK"_s);
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtMessage, 1);
    layout->addLayout(buttons);

    setTabOrder(txtMessage, cmdOK);
    txtMessage->setFocus();

    // About 80 columns by 30 lines, but never larger than the screen's free room.
    const QFontMetrics fm(txtMessage->font());
    QSize size(fm.horizontalAdvance(u'M') * 82, fm.lineSpacing() * 30);
    if (const QScreen* s = parent ? parent->screen() : screen())
        size = size.boundedTo(s->availableGeometry().size() * 9 / 10);
    resize(size);

    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

QString frmView::Caption(const CMessage& message)
{
    return u"Message from "_s + message.Sender();
}

QString frmView::MessageText(const CMessage& message)
{
    return u"From: "_s + message.Sender() + u"\r\n"_s + u"Subject: "_s + message.m_Subject + u"\r\n\r\n"_s +
           message.m_Content;
}

bool frmView::ViewMessage(const QString& path, const ModalDialogFlag& modalDialog, QWidget* parent)
{
    CMessage message;
    if (path.isEmpty() || !message.Load(path)) return false;
    frmView dlg(message, parent);
    modalDialog.exec(dlg);
    return true;
}

} // namespace orvella
