#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace orvella {

// A text box for a repeat interval with its up-down control. The box takes
// only the digits and backspace, as the keys are typed; what it holds is
// checked when the dialog is confirmed, so pasted or cleared text is still
// reported to the user. The arrows and the Up and Down keys step the number
// between 1 and 99.
class UpDownEdit : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Minimum = 1;
    static constexpr int Maximum = 99;

    // accessibleName names the box for screen readers ("Repeat every day(s)").
    UpDownEdit(const QString& objectName, const QString& accessibleName, QWidget* parent = nullptr);

    QLineEdit* edit = nullptr;
    QToolButton* up = nullptr;
    QToolButton* down = nullptr;

    QString text() const;
    void setText(const QString& text);
    void stepBy(int steps);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace orvella
