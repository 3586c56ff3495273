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
    enum Constraint {
        DigitsOnly = 0x1,
        NoBlank = 0x2,
        SelectAllOnFocus = 0x4,
    };
    Q_DECLARE_FLAGS(Constraints, Constraint)

    // Installs the filter on field, which owns it.
    static void install(QLineEdit* field, Constraints rules);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FieldFilter(QLineEdit* field, Constraints rules);
    Constraints m_rules;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(FieldFilter::Constraints)

} // namespace orvella
