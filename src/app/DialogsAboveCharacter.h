#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;
class QWindow;

namespace orvella {

class IAgent;

// The character and its balloon stay above other windows, and they show
// themselves again and again while they speak; the program's own dialogs
// must still never disappear under them (a "Remove All" question whose
// buttons the character covers cannot be answered). Installed on the
// application, this
// - tells the character where the program's dialogs stand, so it steps
//   beside them (a gesture previewed for a dialog is seen beside it);
// - raises the dialogs on screen whenever an always-on-top tool window (the
//   character, the balloon) shows, for when there is no room beside them
//   (the dialogs stay on top as well: StayAboveCharacter);
// - keeps a reminder alert usable while a modal dialog is open: the alert
//   becomes a window of that dialog, so the dialog does not block it (its
//   Close works while the reminder editor is open) and it never sits over a
//   dialog it cannot be used beside.
class DialogsAboveCharacter : public QObject
{
    Q_OBJECT
public:
    explicit DialogsAboveCharacter(QObject* parent = nullptr);

    // The character to tell; asked each time, as it may come and go.
    std::function<IAgent*()> agent;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void raiseDialogs();
    void updateKeepClear();
    void keepAlertUsable(QWidget* alert);
    void releaseAlerts(QWindow* dialog);
    bool m_raiseQueued = false;
    bool m_areasQueued = false;
};

} // namespace orvella
