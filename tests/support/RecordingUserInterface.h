#pragma once

#include "core/IUserInterface.h"

#include <QStringList>
#include <functional>

namespace orvella::test {

// The windows as the logic sees them, without a single widget: every
// question answered from the test, every notice written down.
class RecordingUserInterface : public IUserInterface
{
public:
    QStringList asked;
    bool readAnswer = true;
    bool wizardFinishes = false;
    bool windowVisible = false;
    std::function<void()> whileWizardIsOpen;
    // When set, they answer instead of readAnswer.
    std::function<bool(const QList<MailMessage>&)> onPromptOnce;
    std::function<bool(const MailMessage&)> onPromptForMessage;

    void showMessage(const QString& text, bool, const QString&) override
    {
        asked << QStringLiteral("notice: ") + text;
    }
    bool promptOnce(const QList<MailMessage>& messages) override
    {
        asked << QStringLiteral("prompt once: %1").arg(messages.size());
        return onPromptOnce ? onPromptOnce(messages) : readAnswer;
    }
    bool promptForMessage(const MailMessage& message) override
    {
        asked << QStringLiteral("prompt for: ") + message.m_Subject;
        return onPromptForMessage ? onPromptForMessage(message) : readAnswer;
    }
    bool runWizard(int startPage) override
    {
        asked << QStringLiteral("wizard from page %1").arg(startPage);
        if (whileWizardIsOpen) whileWizardIsOpen();
        return wizardFinishes;
    }
    QObject* openReminderWindow(const QString& text) override
    {
        asked << QStringLiteral("reminder: ") + text;
        return nullptr;
    }
    QObject* openReminderList(const QString& heading, const QStringList&) override
    {
        asked << QStringLiteral("reminders: ") + heading;
        return nullptr;
    }
    bool mainWindowVisible() const override { return windowVisible; }
    bool modalDialogDisplayed() const override { return false; }
};

} // namespace orvella::test
