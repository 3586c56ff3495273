#include "reminders/CheckReminders.h"

#include "reminders/CRemindersSet.h"

namespace orvella {

bool CheckReminders(CRemindersSet& reminderSet, bool enableReminders, bool modalDialogDisplayed)
{
    if (!enableReminders || modalDialogDisplayed) return false;
    reminderSet.Check();
    return reminderSet.m_ReSched;
}

} // namespace orvella
