#include "gui/signin/DeviceCodeDialog.h"

#include "gui/widgets/StayAboveCharacter.h"
#include "gui/widgets/WidgetHelpers.h"
#include "platform/Clipboard.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

QLabel* selectable(QLabel* label, const QString& name)
{
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAccessibleName(name);
    // Reached with Tab, so a screen reader reads it and the keyboard can select it.
    label->setFocusPolicy(Qt::StrongFocus);
    return label;
}

} // namespace

DeviceCodeDialog::DeviceCodeDialog(QWidget* parent) : QDialog(parent)
{
    StayAboveCharacter(this);
    setObjectName(u"frmDeviceCode"_s);
    setWindowTitle(u"Sign in with a code"_s);

    lblDeviceMessage = named(new QLabel(u"Asking Microsoft for a code…"_s, this), u"lblDeviceMessage"_s);
    lblDeviceMessage->setWordWrap(true);
    lblDeviceMessage->setTextFormat(Qt::PlainText);
    lblDeviceCode = named(selectable(new QLabel(this), u"Code"_s), u"lblDeviceCode"_s);
    QFont big = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    lblDeviceCode->setFont(big);
    lblDeviceAddress = named(selectable(new QLabel(this), u"Address"_s), u"lblDeviceAddress"_s);
    lblDeviceExpiry = named(new QLabel(this), u"lblDeviceExpiry"_s);
    cmdCopyCode = named(new QPushButton(u"C&opy code"_s, this), u"cmdCopyCode"_s);
    cmdCopyCode->setEnabled(false);
    cmdCancel = named(new QPushButton(u"&Cancel"_s, this), u"cmdCancel"_s);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdCopyCode);
    buttons->addStretch(1);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblDeviceMessage);
    layout->addWidget(lblDeviceCode);
    layout->addWidget(lblDeviceAddress);
    layout->addWidget(lblDeviceExpiry);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    connect(cmdCopyCode, &QPushButton::clicked, this, &DeviceCodeDialog::copyCode);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void DeviceCodeDialog::showCode(const QString& userCode, const QUrl& verificationUri,
                                const QDateTime& expiresAt, const QString& message)
{
    m_code = userCode;
    const QString address = verificationUri.toString();
    lblDeviceMessage->setText(
        u"On this or any other device, open the address below and enter the code. Orvella goes on by "
        u"itself once you have signed in there."_s);
    lblDeviceCode->setText(userCode);
    lblDeviceAddress->setText(address);
    // The service's own sentence says the same in its words; a screen reader gets it too.
    lblDeviceMessage->setAccessibleDescription(message);
    lblDeviceExpiry->setText(expiresAt.isValid() ? u"The code works until %1."_s.arg(QLocale().toString(
                                                       expiresAt.toLocalTime().time(), QLocale::ShortFormat))
                                                 : QString());
    lblDeviceExpiry->setVisible(expiresAt.isValid());
    cmdCopyCode->setEnabled(!userCode.isEmpty());
    cmdCopyCode->setFocus(Qt::OtherFocusReason);
}

QString DeviceCodeDialog::SpokenText(const QString& userCode, const QUrl& verificationUri)
{
    QStringList letters;
    for (QChar c : userCode)
        if (!c.isSpace()) letters.append(QString(c));
    return u"Your code is "_s + letters.join(u' ') + u". Enter it at "_s + verificationUri.host() + u"."_s;
}

void DeviceCodeDialog::copyCode()
{
    if (!m_code.isEmpty()) platform::setClipboardText(m_code);
}

} // namespace orvella
