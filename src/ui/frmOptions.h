#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;
class QTabWidget;

namespace orvella {

class OptionsAccountsPage;
class OptionsCharacterPage;
class OptionsFiltersPage;
class OptionsGeneralPage;
class OptionsRulesPage;
class OptionsWhatToSayPage;
struct OptionsServices;

// The dialog in which the user changes every preference, account, rule and
// filter. It shows the settings object's values, previews changes of the
// character, balloon, position, size, gestures and voice at once through the
// main window's character, and on OK writes everything back and saves the
// settings, filters, rules and accounts. Cancel saves nothing, but what the
// previews and the rule and filter lists changed in memory stays. The
// accounts change only on OK: the dialog edits copies of them, so a check
// while it is open uses the saved accounts, never a half-typed server.
class frmOptions : public QDialog
{
    Q_OBJECT
public:
    explicit frmOptions(OptionsServices& services, QWidget* parent = nullptr);
    ~frmOptions() override;

    // Opens the dialog on page startPage, modally, as the main window's
    // Options command does: the modal-dialog flag set and the character's
    // "Options" command disabled while it shows.
    static void ShowOptions(OptionsServices& services, int startPage, QWidget* parent);

    // Fills every control from the settings; previews stay quiet until it ends.
    void Init();

    // False while the dialog is being filled.
    bool Ready = false;
    // The character loaded when the dialog opened or at the last successful change.
    QString LoadedCharacter;
    // Whether the program started at log-in when the dialog opened.
    bool InitialAutoStart = false;

    QTabWidget* tabOptions = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdOnlineSupport = nullptr;

    OptionsAccountsPage* pageAccounts = nullptr;
    OptionsGeneralPage* pageGeneral = nullptr;
    OptionsCharacterPage* pageCharacter = nullptr;
    OptionsWhatToSayPage* pageWhatToSay = nullptr;
    OptionsRulesPage* pageRules = nullptr;
    OptionsFiltersPage* pageFilters = nullptr;

    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdOnlineSupport_Click();

    // For the pages.
    OptionsServices& services() const { return m_services; }
    // A preview through the main window's character (the behaviour setting ignored).
    void Say(const QString& text, const QString& gesture, bool hide = true) const;
    // The program's message window, spoken with the gesture when sayIt.
    void ShowMessage(const QString& text, bool sayIt, const QString& gesture);
    // The welcome, reading and time gesture lists, for the present character;
    // each keeps its entry when the character has it, else shows "None".
    void FillGestureLists(const QString& welcome, const QString& reading, const QString& time);

    // Loads the configured character again; the character's "Options"
    // command keeps its state (it stays off while this dialog shows).
    bool LoadCharacter();

private:
    void writeBack();

    OptionsServices& m_services;
};

// Sets list to the entry text; when there is none, to fallback (when that
// is an entry), else leaves it without a selection. True when text was found.
bool SelectText(QComboBox* list, const QString& text, const QString& fallback = QString());
// The selected entry's text, or keep when nothing is selected.
QString SelectedText(const QComboBox* list, const QString& keep);
// Selects entry index of an index list; a value that names no entry leaves
// the list without a selection, and writing back then keeps the setting.
void SelectIndex(QComboBox* list, int index);
int SelectedIndex(const QComboBox* list, int keep);

} // namespace orvella
