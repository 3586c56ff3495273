#pragma once

#include <functional>

class QDialog;

namespace orvella {

// The program's "a modal dialog is displayed" flag, kept on the tray window.
// While it is set, reminders wait and the tray icon does not open the main
// window, so every opener of a modal dialog sets it around the dialog.
class ModalDialogFlag
{
public:
    std::function<bool()> get;
    std::function<void(bool)> set;

    // Shows dialog modally with the flag set. The flag gets its previous value
    // back afterwards: a dialog opened from another dialog leaves it set.
    int exec(QDialog& dialog) const;
};

} // namespace orvella
