#pragma once

#include <QObject>

class QLineEdit;

namespace orvella {

// What a text field of the option dialogs lets through, as an event filter
// on the field: digits only (the numeric fields), no blank (the symbol list),
// and the whole text selected when the field gets the focus, so typing
// replaces it.
class FieldFilter : public QObject
{
    Q_OBJECT
public:
    enum Rule {
        DigitsOnly = 0x1,
        NoBlank = 0x2,
        SelectAllOnFocus = 0x4,
    };
    Q_DECLARE_FLAGS(Rules, Rule)

    // Installs the filter on field, which owns it.
    static void install(QLineEdit* field, Rules rules);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FieldFilter(QLineEdit* field, Rules rules);
    Rules m_rules;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(FieldFilter::Rules)

} // namespace orvella
