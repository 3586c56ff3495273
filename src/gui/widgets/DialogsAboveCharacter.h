#pragma once

#include <QObject>

namespace orvella {

// The character and its balloon stay above other windows, and they show
// themselves again and again while they speak; the program's own dialogs
// must still never disappear under them (a "Remove All" question whose
// buttons the character covers cannot be answered). The dialogs stay on top
// as well (StayAboveCharacter), and, installed on the application, this
// raises the dialogs on screen whenever an always-on-top tool window (the
// character, the balloon) shows.
class DialogsAboveCharacter : public QObject
{
    Q_OBJECT
public:
    explicit DialogsAboveCharacter(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void raiseDialogs();
    bool m_raiseQueued = false;
};

} // namespace orvella
