#include "ui/frmOptions.h"
#include "ui/StayAboveCharacter.h"

#include "settings/CSettings.h"
#include "settings/ModOrvella.h"
#include "settings/Program.h"
#include "speech/CharacterControl.h"
#include "speech/SpeechOutput.h"
#include "speech/agent/IAgent.h"
#include "ui/ControlNames.h"
#include "ui/OptionsAccountsPage.h"
#include "ui/OptionsCharacterPage.h"
#include "ui/OptionsFiltersPage.h"
#include "ui/OptionsGeneralPage.h"
#include "ui/OptionsRulesPage.h"
#include "ui/OptionsServices.h"
#include "ui/OptionsWhatToSayPage.h"
#include "ui/frmMessage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

bool SelectText(QComboBox* list, const QString& text, const QString& fallback)
{
    int index = list->findText(text);
    const bool found = index >= 0;
    if (!found && !fallback.isEmpty()) index = list->findText(fallback);
    list->setCurrentIndex(index);
    return found;
}

QString SelectedText(const QComboBox* list, const QString& keep)
{
    return list->currentIndex() >= 0 ? list->currentText() : keep;
}

void SelectIndex(QComboBox* list, int index)
{
    list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
}

int SelectedIndex(const QComboBox* list, int keep)
{
    return list->currentIndex() >= 0 ? list->currentIndex() : keep;
}

frmOptions::frmOptions(OptionsServices& services, QWidget* parent) : QDialog(parent), m_services(services)
{
    StayAboveCharacter(this);
    setObjectName(u"frmOptions"_s);
    setWindowTitle(u"Options"_s);

    tabOptions = new QTabWidget(this);
    tabOptions->setObjectName(u"tabOptions"_s);
    tabOptions->setAccessibleName(u"Options"_s);
    pageAccounts = new OptionsAccountsPage(*this);
    pageGeneral = new OptionsGeneralPage(*this);
    pageCharacter = new OptionsCharacterPage(*this);
    pageWhatToSay = new OptionsWhatToSayPage(*this);
    pageRules = new OptionsRulesPage(*this);
    pageFilters = new OptionsFiltersPage(*this);
    tabOptions->addTab(pageAccounts, u" E-mail &Accounts"_s);
    tabOptions->addTab(pageGeneral, u" &General"_s);
    tabOptions->addTab(pageCharacter, u" C&haracter"_s);
    tabOptions->addTab(pageWhatToSay, u" &What To Say"_s);
    tabOptions->addTab(pageRules, u"R&ules"_s);
    tabOptions->addTab(pageFilters, u" &Filters"_s);
    for (int i = 0; i < tabOptions->count(); ++i)
        tabOptions->widget(i)->setAccessibleName(AccessibleText(tabOptions->tabText(i)));

    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(u"&Cancel"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    cmdOnlineSupport = new QPushButton(u"On&line Help"_s, this);
    cmdOnlineSupport->setObjectName(u"cmdOnlineSupport"_s);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdOnlineSupport);
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabOptions, 1);
    layout->addLayout(buttons);

    NameControls(this);

    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(cmdOnlineSupport, &QPushButton::clicked, this, &frmOptions::cmdOnlineSupport_Click);

    // Setting the lists while they are filled must not preview anything.
    Ready = false;
    pageWhatToSay->FillLines();
}

frmOptions::~frmOptions() = default;

void frmOptions::ShowOptions(OptionsServices& services, int startPage, QWidget* parent)
{
    if (services.agent) services.agent->setCommandEnabled(u"Options"_s, false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    frmOptions dlg(services, parent);
    dlg.Init();
    if (startPage >= 0 && startPage < dlg.tabOptions->count()) dlg.tabOptions->setCurrentIndex(startPage);
    QApplication::restoreOverrideCursor();
    services.modalDialog.exec(dlg);
    if (services.updateMessageCommands) services.updateMessageCommands();
    if (services.agent) services.agent->setCommandEnabled(u"Options"_s, true);
}

void frmOptions::Init()
{
    const CSettings& s = m_services.settings;
    Ready = false;
    pageCharacter->InitCharacterList();
    FillGestureLists(s.m_WelcomeGesture, s.m_ReadingGesture, s.m_TimeGesture);
    pageAccounts->FillAccounts();
    LoadedCharacter = s.m_CharacterName;
    pageAccounts->InitValues();
    pageGeneral->InitValues();
    pageCharacter->InitValues();
    pageWhatToSay->InitValues();
    pageRules->InitValues();
    InitialAutoStart = pageGeneral->InitAutoStart();
    pageRules->FillRules();
    pageFilters->FillFilters();
    pageCharacter->InitVoice();
    pageCharacter->InitFonts();
    pageCharacter->InitFontSize();
    Ready = true;
}

void frmOptions::FillGestureLists(const QString& welcome, const QString& reading, const QString& time)
{
    const std::pair<QComboBox*, QString> lists[] = {{pageWhatToSay->cboWelcomeGesture, welcome},
                                                    {pageCharacter->cboReadingGesture, reading},
                                                    {pageGeneral->cboTimeGesture, time}};
    for (const auto& [list, value] : lists) {
        if (m_services.agent)
            FillGestureList(list, *m_services.agent);
        else {
            list->clear();
            list->addItem(u"None"_s);
        }
        SelectText(list, value, u"None"_s);
    }
}

void frmOptions::Say(const QString& text, const QString& gesture, bool hide) const
{
    if (m_services.speech) m_services.speech->SayAndPlay(text, gesture, hide, true);
}

void frmOptions::ShowMessage(const QString& text, bool sayIt, const QString& gesture)
{
    if (m_services.showMessage)
        m_services.showMessage(text, sayIt, gesture);
    else
        orvella::ShowMessage(m_services.speech, text, sayIt, gesture, this);
}

bool frmOptions::LoadCharacter()
{
    if (!m_services.character) return true;
    IAgent* agent = m_services.agent;
    const bool optionsOn = agent && agent->commandEnabled(u"Options"_s);
    const bool loaded = m_services.character->InitCharacter();
    if (agent) agent->setCommandEnabled(u"Options"_s, optionsOn);
    return loaded;
}

void frmOptions::writeBack()
{
    pageAccounts->WriteBack();
    pageGeneral->WriteBack();
    pageCharacter->WriteBack();
    pageWhatToSay->WriteBack();
    pageRules->WriteBack();
}

void frmOptions::cmdOK_Click()
{
    // A number that cannot work is refused before anything changes.
    if (!pageAccounts->NumbersWork()) {
        tabOptions->setCurrentWidget(pageAccounts);
        pageAccounts->CheckNumbers();
        return;
    }
    if (m_services.rememberTab) m_services.rememberTab(tabOptions->currentIndex());
    writeBack();

    CSettings& s = m_services.settings;
    const QString chosen = pageCharacter->SelectedCharacter();
    s.m_CharacterName = chosen.isEmpty() ? u"merlin.acs"_s : chosen;
    if (s.m_CharacterName.compare(LoadedCharacter, Qt::CaseInsensitive) != 0 && m_services.character) {
        if (!LoadCharacter()) {
            s.m_CharacterName = LoadedCharacter;
            LoadCharacter();
            pageCharacter->SelectCharacter(LoadedCharacter);
            return;
        }
        LoadedCharacter = s.m_CharacterName;
    }
    if (m_services.character) {
        m_services.character->SetCharacterSize();
        m_services.character->SetBalloon();
    }
    const AccountDrafts::Draft* first = pageAccounts->FirstDraft();
    if (m_services.checkParameters && first &&
        !m_services.checkParameters(first->now.popServer, first->now.accountName, first->hasPassword()))
        return;

    s.Save();
    if (pageGeneral->chkAutoStart->isChecked() != InitialAutoStart)
        SetAutoStart(pageGeneral->chkAutoStart->isChecked());
    SaveFilters(m_services.filters);
    SaveRules(m_services.rules);
    // Until now the checks used the saved accounts; from here on, these.
    pageAccounts->ApplyAccounts();
    SaveAccounts(m_services.accounts);
    accept();
}

void frmOptions::cmdCancel_Click()
{
    reject();
}

void frmOptions::cmdOnlineSupport_Click()
{
    ShellOpen(Program().SupportURL.isEmpty() ? QString::fromUtf16(DefaultSupportURL) : Program().SupportURL);
}

} // namespace orvella
