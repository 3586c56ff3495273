#include "gui/options/OptionsGeneralPage.h"
#include "gui/widgets/WidgetHelpers.h"

#include "core/settings/IniValues.h"
#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "gui/options/OptionsDialog.h"
#include "gui/options/OptionsServices.h"
#include "gui/widgets/ControlNames.h"
#include "gui/widgets/Dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

OptionsGeneralPage::OptionsGeneralPage(OptionsDialog& dialog) : m_dialog(dialog)
{
    setObjectName(u"pageGeneral"_s);

    auto* FrameGeneral = named(new QGroupBox(u"General Settings"_s, this), u"FrameGeneral"_s);
    txtUserName = named(new QLineEdit(FrameGeneral), u"txtUserName"_s);
    txtEMailProgram = named(new QLineEdit(FrameGeneral), u"txtEMailProgram"_s);
    cmdBrowse = named(new QPushButton(u"&Browse..."_s, FrameGeneral), u"cmdBrowse"_s);
    cmdBrowse->setAccessibleDescription(u"Browse for the e-mail program"_s);
    chkAutoStart = named(new QCheckBox(u"Start Orvella in the s&ystem tray when I log in"_s, FrameGeneral),
                         u"chkAutoStart"_s);
    chkPopup =
        named(new QCheckBox(u"&Popup window when a new message arrives"_s, FrameGeneral), u"chkPopup"_s);
    chkShowTips = named(new QCheckBox(u"Show t&ips at startup"_s, FrameGeneral), u"chkShowTips"_s);
    chkNotification = named(new QCheckBox(u"Show a des&ktop notification for new mail"_s, FrameGeneral),
                            u"chkNotification"_s);
    chkDoNotDisturb = named(
        new QCheckBox(u"Stay &quiet when the desktop is in Do Not Disturb (new mail, clock)"_s, FrameGeneral),
        u"chkDoNotDisturb"_s);
    chkDoNotDisturbReminders = named(new QCheckBox(u"E&xtend the quiet to reminders"_s, FrameGeneral),
                                     u"chkDoNotDisturbReminders"_s);
    // Read alone, without the box above it.
    chkDoNotDisturbReminders->setAccessibleName(u"Stay quiet in Do Not Disturb for reminders too"_s);
    cboPromptUser = named(new QComboBox(FrameGeneral), u"cboPromptUser"_s);
    cboPromptUser->addItems({u"Read messages without prompting the user"_s,
                             u"Prompt user once, before reading new messages"_s,
                             u"Prompt user for each new message"_s});

    auto* general = new QGridLayout(FrameGeneral);
    general->addWidget(FieldLabel(u"Your nam&e"_s, txtUserName, FrameGeneral), 0, 0);
    general->addWidget(txtUserName, 0, 1, 1, 2);
    general->addWidget(FieldLabel(u"E-mail p&rogram location"_s, txtEMailProgram, FrameGeneral), 1, 0);
    general->addWidget(txtEMailProgram, 1, 1);
    general->addWidget(cmdBrowse, 1, 2);
    general->addWidget(chkAutoStart, 2, 0, 1, 3);
    general->addWidget(chkPopup, 3, 0, 1, 3);
    general->addWidget(chkShowTips, 4, 0, 1, 3);
    general->addWidget(chkNotification, 5, 0, 1, 3);
    general->addWidget(chkDoNotDisturb, 6, 0, 1, 3);
    general->addWidget(chkDoNotDisturbReminders, 7, 0, 1, 3);
    general->addWidget(FieldLabel(u"When do you want to be prompte&d"_s, cboPromptUser, FrameGeneral), 8, 0);
    general->addWidget(cboPromptUser, 8, 1, 1, 2);
    general->setColumnStretch(1, 1);

    FrameTime = named(new QGroupBox(u"Clock"_s, this), u"FrameTime"_s);
    chkSayTime = named(new QCheckBox(u"An&nounce the time"_s, FrameTime), u"chkSayTime"_s);
    cboSayTimeEvery = named(new QComboBox(FrameTime), u"cboSayTimeEvery"_s);
    cboSayTimeEvery->addItems({u"Hour"_s, u"30 Minutes"_s, u"20 Minutes"_s, u"15 Minutes"_s, u"10 Minutes"_s,
                               u"5 Minutes"_s, u"Minute"_s});
    txtBeforeTime = named(new QLineEdit(FrameTime), u"txtBeforeTime"_s);
    cboTimeGesture = named(new QComboBox(FrameTime), u"cboTimeGesture"_s);
    txtTimeSoundFile = named(new QLineEdit(FrameTime), u"txtTimeSoundFile"_s);
    cmdTimeSoundBrowse = named(new QPushButton(u"Brow&se..."_s, FrameTime), u"cmdTimeSoundBrowse"_s);
    cmdTimeSoundBrowse->setAccessibleDescription(u"Browse for the clock's sound file"_s);

    auto* clock = new QGridLayout(FrameTime);
    clock->addWidget(chkSayTime, 0, 0, 1, 3);
    clock->addWidget(FieldLabel(u"Say the time e&very"_s, cboSayTimeEvery, FrameTime), 1, 0);
    clock->addWidget(cboSayTimeEvery, 1, 1, 1, 2);
    clock->addWidget(FieldLabel(u"Say before the ti&me"_s, txtBeforeTime, FrameTime), 2, 0);
    clock->addWidget(txtBeforeTime, 2, 1, 1, 2);
    clock->addWidget(FieldLabel(u"Make this gesture when announcing &time"_s, cboTimeGesture, FrameTime), 3,
                     0);
    clock->addWidget(cboTimeGesture, 3, 1, 1, 2);
    clock->addWidget(FieldLabel(u"Play this s&ound file"_s, txtTimeSoundFile, FrameTime), 4, 0);
    clock->addWidget(txtTimeSoundFile, 4, 1);
    clock->addWidget(cmdTimeSoundBrowse, 4, 2);
    clock->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FrameGeneral);
    layout->addWidget(FrameTime);
    layout->addStretch(1);

    setTabOrder(txtUserName, txtEMailProgram);
    setTabOrder(txtEMailProgram, cmdBrowse);
    setTabOrder(cmdBrowse, chkAutoStart);
    setTabOrder(chkAutoStart, chkPopup);
    setTabOrder(chkPopup, chkShowTips);
    setTabOrder(chkShowTips, chkNotification);
    setTabOrder(chkNotification, chkDoNotDisturb);
    setTabOrder(chkDoNotDisturb, chkDoNotDisturbReminders);
    setTabOrder(chkDoNotDisturbReminders, cboPromptUser);
    setTabOrder(cboPromptUser, chkSayTime);
    setTabOrder(chkSayTime, cboSayTimeEvery);
    setTabOrder(cboSayTimeEvery, txtBeforeTime);
    setTabOrder(txtBeforeTime, cboTimeGesture);
    setTabOrder(cboTimeGesture, txtTimeSoundFile);
    setTabOrder(txtTimeSoundFile, cmdTimeSoundBrowse);

    connect(chkSayTime, &QCheckBox::toggled, this, &OptionsGeneralPage::onSayTimeToggled);
    connect(chkDoNotDisturb, &QCheckBox::toggled, this, &OptionsGeneralPage::onDoNotDisturbToggled);
    connect(cmdBrowse, &QPushButton::clicked, this, &OptionsGeneralPage::browse);
    connect(cmdTimeSoundBrowse, &QPushButton::clicked, this, &OptionsGeneralPage::browseTimeSound);
}

void OptionsGeneralPage::InitValues()
{
    const Settings& s = m_dialog.services().settings;
    txtUserName->setText(s.m_UserName);
    txtEMailProgram->setText(s.m_EMailProgram);
    chkPopup->setChecked(s.m_PopupOnReceive);
    chkShowTips->setChecked(s.m_ShowTips);
    chkNotification->setChecked(s.m_DesktopNotification);
    chkDoNotDisturb->setChecked(s.m_QuietInDoNotDisturb);
    chkDoNotDisturbReminders->setChecked(s.m_RemindersQuietInDoNotDisturb);
    onDoNotDisturbToggled();
    SelectIndex(cboPromptUser, s.m_PromptUser);
    chkSayTime->setChecked(s.m_SayTime);
    SelectIndex(cboSayTimeEvery, s.m_SayTimeEvery);
    txtBeforeTime->setText(s.m_BeforeTime);
    txtTimeSoundFile->setText(s.m_TimeSoundFile);
    onSayTimeToggled();
}

bool OptionsGeneralPage::InitAutoStart()
{
    const bool on = IsAutoStartEnabled();
    chkAutoStart->setChecked(on);
    return on;
}

void OptionsGeneralPage::WriteBack()
{
    Settings& s = m_dialog.services().settings;
    s.m_UserName = txtUserName->text();
    s.m_EMailProgram = txtEMailProgram->text();
    s.m_PopupOnReceive = chkPopup->isChecked();
    s.m_ShowTips = chkShowTips->isChecked();
    s.m_DesktopNotification = chkNotification->isChecked();
    s.m_QuietInDoNotDisturb = chkDoNotDisturb->isChecked();
    s.m_RemindersQuietInDoNotDisturb = chkDoNotDisturbReminders->isChecked();
    s.m_PromptUser = SelectedIndex(cboPromptUser, s.m_PromptUser);
    s.m_SayTime = chkSayTime->isChecked();
    s.m_SayTimeEvery = SelectedIndex(cboSayTimeEvery, s.m_SayTimeEvery);
    s.m_BeforeTime = txtBeforeTime->text();
    s.m_TimeGesture = SelectedText(cboTimeGesture, s.m_TimeGesture);
    s.m_TimeSoundFile = txtTimeSoundFile->text();
}

// The reminders' choice means something only while the program keeps quiet at all.
void OptionsGeneralPage::onDoNotDisturbToggled()
{
    chkDoNotDisturbReminders->setEnabled(chkDoNotDisturb->isChecked());
}

void OptionsGeneralPage::onSayTimeToggled()
{
    const bool on = chkSayTime->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{cboSayTimeEvery, txtBeforeTime, cboTimeGesture,
                                                      txtTimeSoundFile, cmdTimeSoundBrowse})
        w->setEnabled(on);
}

void OptionsGeneralPage::browse()
{
    const QString current = txtEMailProgram->text().trimmed();
    const QString folder = current.isEmpty() ? u"/usr/bin"_s : QFileInfo(current).absolutePath();
    const QString file =
        Dialogs::openFileName(this, u"Select E-mail Program Path"_s, folder, u"All Files (*)"_s);
    // Cancelling leaves the path as it was.
    if (!file.isEmpty()) txtEMailProgram->setText(file);
}

void OptionsGeneralPage::browseTimeSound()
{
    BrowseForSound(txtTimeSoundFile, this, m_dialog.services().speech);
}

} // namespace orvella
