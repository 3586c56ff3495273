#include "gui/dialogs/AboutDialog.h"
#include "gui/widgets/StayAboveCharacter.h"

#include "core/settings/Program.h"
#include "gui/wizard/WizardLink.h"
#include "platform/Shell.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {
QPointer<AboutDialog> openAbout;
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    StayAboveCharacter(this);
    setObjectName(u"frmCopyRight"_s);
    setWindowTitle(u"About Orvella"_s);

    auto* imgIcon = new QLabel(this);
    imgIcon->setObjectName(u"imgIcon"_s);
    // Drawn from the vector icon at the screen's own scale, so it stays crisp at 200 %.
    imgIcon->setPixmap(QIcon(u":/icons/orvella.svg"_s).pixmap(QSize(64, 64)));
    imgIcon->setAccessibleName(u"Orvella"_s);

    lblProductName = new QLabel(ProductName(), this);
    lblProductName->setObjectName(u"lblProductName"_s);
    QFont nameFont = lblProductName->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
    lblProductName->setFont(nameFont);

    auto* lblDescription =
        new QLabel(u"A mail notifier whose animated character reads new mail aloud."_s, this);
    lblDescription->setObjectName(u"lblDescription"_s);
    lblDescription->setWordWrap(true);
    lblEngine =
        new QLabel(u"Orvella uses its own character engine and the espeak-ng speech synthesizer."_s, this);
    lblEngine->setObjectName(u"lblEngine"_s);
    lblEngine->setWordWrap(true);
    for (QLabel* l : {lblProductName, lblDescription, lblEngine})
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // A button drawn as a link: in the tab order, answers Space and Enter,
    // and a screen reader announces the address.
    // An "&" in the address is text, not an accelerator mark.
    lblLink = new WizardLink(QString(LinkAddress()).replace(u"&"_s, u"&&"_s), this);
    lblLink->setObjectName(u"lblLink"_s);
    lblLink->setAccessibleName(LinkAddress());
    lblLink->setToolTip(u"Open the Orvella support page in the web browser"_s);
    lblLink->setAccessibleDescription(lblLink->toolTip());
    lblLink->setAutoDefault(false);

    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setAccessibleName(u"OK"_s);
    cmdOK->setDefault(true);

    auto* text = new QVBoxLayout;
    text->addWidget(lblProductName);
    text->addWidget(lblDescription);
    text->addSpacing(lblEngine->fontMetrics().lineSpacing() / 2);
    text->addWidget(lblEngine);
    text->addWidget(lblLink, 0, Qt::AlignLeft);
    text->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(imgIcon, 0, Qt::AlignTop);
    top->addSpacing(imgIcon->fontMetrics().averageCharWidth() * 2);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    const int textWidth = lblEngine->fontMetrics().averageCharWidth() * 52;
    lblDescription->setMinimumWidth(textWidth);
    lblEngine->setMinimumWidth(textWidth);

    setTabOrder(lblLink, cmdOK);
    cmdOK->setFocus();

    connect(lblLink, &QPushButton::clicked, this, &AboutDialog::openLink);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() = default;

QString AboutDialog::ProductName()
{
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty()) name = u"Orvella"_s;
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? name : name + u' ' + version;
}

QString AboutDialog::LinkAddress()
{
    const QString& address = Program().SupportURL;
    return address.isEmpty() ? QString::fromUtf16(DefaultSupportURL) : address;
}

void AboutDialog::openLink()
{
    platform::openInShell(LinkAddress());
}

void AboutDialog::ShowAbout(QWidget* parent)
{
    if (openAbout) {
        openAbout->raise();
        openAbout->activateWindow();
        return;
    }
    AboutDialog dlg(parent);
    openAbout = &dlg;
    dlg.exec();
}

} // namespace orvella
