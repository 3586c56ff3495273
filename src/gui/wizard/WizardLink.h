#pragma once

#include <QPushButton>

namespace orvella {

// The wizard's links ("Click Here", "Skip E-mail Configuration", "Online
// Support"): drawn as link text, but a button underneath, so they sit in the
// tab order, answer Space and Enter, and a screen reader announces them by
// their text.
class WizardLink : public QPushButton
{
    Q_OBJECT
public:
    WizardLink(const QString& text, QWidget* parent);
};

} // namespace orvella
