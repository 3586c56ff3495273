#pragma once

#include "mail/Accounts.h"
#include "rules/CFilter.h"
#include "rules/CRule.h"
#include "ui/ModalDialogFlag.h"

#include <QString>
#include <functional>

namespace orvella {

class CSettings;
class CharacterControl;
class IAgent;
class SpeechOutput;

// What the options dialog works on and with: the program-wide objects it
// edits (the settings, rules and filters in place, the accounts through
// copies that reach them on OK), the main window's character for the
// previews, and the few procedures of the main window and the check cycle it
// calls. The main window fills one; tests fill one with a recording character
// and temporary files.
struct OptionsServices
{
    OptionsServices(CSettings& settings, AccountList& accounts, RuleList& rules, FilterList& filters)
        : settings(settings), accounts(accounts), rules(rules), filters(filters)
    {
    }

    CSettings& settings;
    AccountList& accounts;
    RuleList& rules;
    FilterList& filters;

    // The main window's character; previews and gesture lists go through it.
    IAgent* agent = nullptr;
    SpeechOutput* speech = nullptr;
    CharacterControl* character = nullptr;

    // The check cycle's CheckParameters for the first account as the dialog
    // holds it: false (after telling the user) when it lacks its server, name
    // or password.
    std::function<bool(const QString& server, const QString& accountName, bool hasPassword)> checkParameters;
    // The program's message window; without it the dialog opens frmMessage itself.
    std::function<void(const QString& text, bool sayIt, const QString& gesture)> showMessage;
    // Set around the rule and filter editors.
    ModalDialogFlag modalDialog;
    // The page showing when OK was pressed; the next opening starts there.
    std::function<void(int page)> rememberTab;
    // The main window's commands follow the closed dialog.
    std::function<void()> updateMessageCommands;
};

} // namespace orvella
