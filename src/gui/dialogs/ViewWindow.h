#pragma once

#include "core/message/MailMessage.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace orvella {

// Shows one stored message whole: sender, subject and text, read-only.
class ViewWindow : public QDialog
{
    Q_OBJECT
public:
    explicit ViewWindow(const MailMessage& message, QWidget* parent = nullptr);

    // The main window's View command: loads the message file at path and shows
    // it modally. A file that does not load
    // opens no window and gives false.
    static bool ViewMessage(const QString& path, QWidget* parent);

    // "Message from " and the sender's name.
    static QString Caption(const MailMessage& message);
    // The sender and subject lines, an empty line, then the text; lines end in CR LF.
    static QString MessageText(const MailMessage& message);

    MailMessage m_Message;

private:
    // Its controls, found by tests and screen readers through their object names.
    QPlainTextEdit* txtMessage = nullptr;
    QPushButton* cmdOK = nullptr;
};

} // namespace orvella
