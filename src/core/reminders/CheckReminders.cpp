#include "core/reminders/CheckReminders.h"

#include "core/reminders/ReminderSet.h"

namespace orvella {

bool CheckReminders(ReminderSet& reminderSet, bool enableReminders, bool modalDialogDisplayed)
{
    if (!enableReminders || modalDialogDisplayed) return false;
    reminderSet.Check();
    return reminderSet.m_ReSched;
}

} // namespace orvella
