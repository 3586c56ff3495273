#include "gui/options/OptionsWhatToSayPage.h"
#include "gui/widgets/WidgetHelpers.h"

#include "core/settings/Settings.h"
#include "gui/options/OptionsDialog.h"
#include "gui/options/OptionsServices.h"
#include "gui/widgets/ControlNames.h"
#include "gui/widgets/FieldFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// Lines above this are not offered; a larger value in memory shows 15.
constexpr int MaxLines = 100;

} // namespace

OptionsWhatToSayPage::OptionsWhatToSayPage(OptionsDialog& dialog) : m_dialog(dialog)
{
    setObjectName(u"pageWhatToSay"_s);

    auto* FrameWhatToSay = named(new QGroupBox(u"What to Say"_s, this), u"FrameWhatToSay"_s);
    auto* f = FrameWhatToSay;
    chkSayFrom = named(new QCheckBox(u"Sa&y FROM whom is the message"_s, f), u"chkSayFrom"_s);
    txtMessagePrefix = named(new QLineEdit(f), u"txtMessagePrefix"_s);
    chkSaySubject = named(new QCheckBox(u"Say what is the SUB&JECT of the message"_s, f), u"chkSaySubject"_s);
    txtBeforeSubject = named(new QLineEdit(f), u"txtBeforeSubject"_s);
    chkSayFirstLine = named(new QCheckBox(u"Read the following &number of lines from the message:"_s, f),
                            u"chkSayFirstLine"_s);
    cboLines = named(new QComboBox(f), u"cboLines"_s);
    cboLines->setAccessibleName(u"Number of lines"_s);
    cboLines->setMaxVisibleItems(15);
    txtBeforeContent = named(new QLineEdit(f), u"txtBeforeContent"_s);
    txtFirstMessagePrefix = named(new QLineEdit(f), u"txtFirstMessagePrefix"_s);
    txtFilteredSymbols = named(new QLineEdit(f), u"txtFilteredSymbols"_s);
    chkRepeatTwice = named(new QCheckBox(u"R&epeat message twice"_s, f), u"chkRepeatTwice"_s);
    chkSpellUpper = named(new QCheckBox(u"Spell capital wo&rds"_s, f), u"chkSpellUpper"_s);
    chkReadMessageNo = named(new QCheckBox(u"Read message numbers"_s, f), u"chkReadMessageNo"_s);
    chkReadNoOfNewMessages =
        named(new QCheckBox(u"Say how many new messages arrived"_s, f), u"chkReadNoOfNewMessages"_s);
    chkNoNewMessages = named(new QCheckBox(u"&Tell me when no new messages"_s, f), u"chkNoNewMessages"_s);
    txtNoNewMessages = named(new QLineEdit(f), u"txtNoNewMessages"_s);
    txtNoNewMessages->setAccessibleDescription(u"(Only applies to manual checks)"_s);

    auto* grid = new QGridLayout(f);
    int row = 0;
    auto field = [&](const QString& caption, QWidget* w) {
        grid->addWidget(FieldLabel(caption, w, f), row, 0);
        grid->addWidget(w, row++, 1, 1, 2);
    };
    grid->addWidget(chkSayFrom, row++, 0, 1, 3);
    field(u"Say before the senders na&me"_s, txtMessagePrefix);
    grid->addWidget(chkSaySubject, row++, 0, 1, 3);
    field(u"Say before su&bject"_s, txtBeforeSubject);
    grid->addWidget(chkSayFirstLine, row, 0, 1, 2);
    grid->addWidget(cboLines, row++, 2);
    field(u"Say before message b&ody"_s, txtBeforeContent);
    field(u"Say before the first new me&ssage"_s, txtFirstMessagePrefix);
    field(u"Don't rea&d the following characters"_s, txtFilteredSymbols);
    grid->addWidget(chkRepeatTwice, row, 0);
    grid->addWidget(chkSpellUpper, row++, 1, 1, 2);
    grid->addWidget(chkReadMessageNo, row, 0);
    grid->addWidget(chkReadNoOfNewMessages, row++, 1, 1, 2);
    grid->addWidget(chkNoNewMessages, row++, 0, 1, 3);
    field(u"Say the follow&ing when no new messages"_s, txtNoNewMessages);
    grid->addWidget(new QLabel(u"(Only applies to manual checks)"_s, f), row++, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    auto* FrameWelcome = named(new QGroupBox(u"Welcome"_s, this), u"FrameWelcome"_s);
    txtWelcomeMessage = named(new QLineEdit(FrameWelcome), u"txtWelcomeMessage"_s);
    cboWelcomeGesture = named(new QComboBox(FrameWelcome), u"cboWelcomeGesture"_s);
    cmdPreviewWelcome = named(new QPushButton(u"&Preview"_s, FrameWelcome), u"cmdPreviewWelcome"_s);
    cmdPreviewWelcome->setAccessibleDescription(u"Preview the welcome"_s);
    auto* welcome = new QGridLayout(FrameWelcome);
    welcome->addWidget(FieldLabel(u"My welcome message"_s, txtWelcomeMessage, FrameWelcome), 0, 0);
    welcome->addWidget(txtWelcomeMessage, 0, 1, 1, 2);
    welcome->addWidget(FieldLabel(u"Welcome gesture"_s, cboWelcomeGesture, FrameWelcome), 1, 0);
    welcome->addWidget(cboWelcomeGesture, 1, 1);
    welcome->addWidget(cmdPreviewWelcome, 1, 2);
    welcome->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FrameWhatToSay);
    layout->addWidget(FrameWelcome);
    layout->addStretch(1);

    FieldFilter::install(txtFilteredSymbols, FieldFilter::NoBlank);

    QWidget* order[] = {
        chkSayFrom,        txtMessagePrefix,  chkSaySubject,          txtBeforeSubject,   chkSayFirstLine,
        cboLines,          txtBeforeContent,  txtFirstMessagePrefix,  txtFilteredSymbols, chkRepeatTwice,
        chkSpellUpper,     chkReadMessageNo,  chkReadNoOfNewMessages, chkNoNewMessages,   txtNoNewMessages,
        txtWelcomeMessage, cboWelcomeGesture, cmdPreviewWelcome};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(chkSayFirstLine, &QCheckBox::toggled, this, &OptionsWhatToSayPage::onSayFirstLineToggled);
    connect(cmdPreviewWelcome, &QPushButton::clicked, this, &OptionsWhatToSayPage::previewWelcome);
}

void OptionsWhatToSayPage::FillLines()
{
    cboLines->clear();
    cboLines->addItem(u"Entire Message"_s);
    for (int n = 1; n <= MaxLines; ++n)
        cboLines->addItem(QString::number(n));
}

void OptionsWhatToSayPage::InitValues()
{
    Settings& s = m_dialog.services().settings;
    chkSayFrom->setChecked(s.m_SayFrom);
    txtMessagePrefix->setText(s.m_MessagePrefix);
    chkSaySubject->setChecked(s.m_SaySubject);
    txtBeforeSubject->setText(s.m_BeforeSubject);
    chkSayFirstLine->setChecked(s.m_SayFirstLine);
    if (s.m_Lines > MaxLines) s.m_Lines = 15;
    SelectIndex(cboLines, s.m_Lines);
    txtBeforeContent->setText(s.m_BeforeContent);
    txtFirstMessagePrefix->setText(s.m_FirstMessagePrefix);
    txtFilteredSymbols->setText(s.m_FilteredSymbols);
    chkRepeatTwice->setChecked(s.m_RepeatTwice);
    chkSpellUpper->setChecked(s.m_SpellUpper);
    chkReadMessageNo->setChecked(s.m_ReadMessageNo);
    chkReadNoOfNewMessages->setChecked(s.m_ReadNoOfNewMessages);
    chkNoNewMessages->setChecked(s.m_SayNoNewMessages);
    txtNoNewMessages->setText(s.m_NoNewMessages);
    txtWelcomeMessage->setText(s.m_WelcomeMessage);
    onSayFirstLineToggled();
}

void OptionsWhatToSayPage::WriteBack()
{
    Settings& s = m_dialog.services().settings;
    s.m_SayFrom = chkSayFrom->isChecked();
    s.m_MessagePrefix = txtMessagePrefix->text();
    s.m_SaySubject = chkSaySubject->isChecked();
    s.m_BeforeSubject = txtBeforeSubject->text();
    s.m_SayFirstLine = chkSayFirstLine->isChecked();
    s.m_Lines = SelectedIndex(cboLines, s.m_Lines);
    s.m_BeforeContent = txtBeforeContent->text();
    s.m_FirstMessagePrefix = txtFirstMessagePrefix->text();
    s.m_FilteredSymbols = txtFilteredSymbols->text();
    s.m_RepeatTwice = chkRepeatTwice->isChecked();
    s.m_SpellUpper = chkSpellUpper->isChecked();
    s.m_ReadMessageNo = chkReadMessageNo->isChecked();
    s.m_ReadNoOfNewMessages = chkReadNoOfNewMessages->isChecked();
    s.m_SayNoNewMessages = chkNoNewMessages->isChecked();
    s.m_NoNewMessages = txtNoNewMessages->text();
    s.m_WelcomeMessage = txtWelcomeMessage->text();
    s.m_WelcomeGesture = SelectedText(cboWelcomeGesture, s.m_WelcomeGesture);
}

void OptionsWhatToSayPage::onSayFirstLineToggled()
{
    cboLines->setEnabled(chkSayFirstLine->isChecked());
}

void OptionsWhatToSayPage::previewWelcome()
{
    if (!m_dialog.Ready) return;
    m_dialog.Say(u"Welcome "_s + m_dialog.services().settings.m_UserName + u"."_s + txtWelcomeMessage->text(),
                 SelectedText(cboWelcomeGesture, u"None"_s));
}

} // namespace orvella
