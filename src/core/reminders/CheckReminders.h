#pragma once

namespace orvella {

class ReminderSet;

// The minute tick's reminder step, run after the spoken clock and before the
// mail tick. Nothing is checked while reminders are switched off or while a
// modal dialog is open (an editor may hold a reminder); the next tick checks
// instead. True when a due time moved, so the list must show the new times.
bool CheckReminders(ReminderSet& reminderSet, bool enableReminders, bool modalDialogDisplayed);

} // namespace orvella
