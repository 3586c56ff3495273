#pragma once

#include "core/message/MailMessage.h"

#include <QList>

namespace orvella {

// What the reading of new mail must have a person answer before it goes on.
class ReadingQuestions
{
public:
    virtual ~ReadingQuestions() = default;
    // The reading prompts, shown modally: true reads.
    virtual bool promptOnce(const QList<MailMessage>& messages) = 0;
    virtual bool promptForMessage(const MailMessage& message) = 0;
    // The main window is on screen (new mail then changes no tray picture).
    virtual bool mainWindowVisible() const = 0;
};

} // namespace orvella
