#pragma once

#include "message/CMessage.h"

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace orvella {

// What the program's logic needs from its windows and must have answered
// before it goes on: notices, the reading prompts, the set-up wizard, and the
// windows' state. Everything else the logic tells through OrvellaCore's
// signals. The main window implements it; tests give a recording one.
class IUserInterface
{
public:
    virtual ~IUserInterface() = default;
    // The program's notice window, spoken on request.
    virtual void showMessage(const QString& text, bool sayIt, const QString& gesture) = 0;
    // The reading prompts: true reads.
    virtual bool promptOnce(const QList<CMessage>& messages) = 0;
    virtual bool promptForMessage(const CMessage& message) = 0;
    // The configuration wizard from startPage: true when finished.
    virtual bool runWizard(int startPage) = 0;
    // A reminder's window, left open; the reminder closes it when it goes.
    virtual QWidget* openReminderWindow(const QString& text) = 0;
    // One window for many reminders due at once: a heading and a line each.
    virtual QWidget* openReminderList(const QString& heading, const QStringList& lines) = 0;
    virtual bool mainWindowVisible() const = 0;
    // One of the program's modal dialogs is open (reminders wait meanwhile).
    virtual bool modalDialogDisplayed() const = 0;
};

} // namespace orvella
