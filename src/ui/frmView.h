#pragma once

#include "message/CMessage.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace orvella {

class ModalDialogFlag;

// Shows one stored message whole: sender, subject and text, read-only.
class frmView : public QDialog
{
    Q_OBJECT
public:
    explicit frmView(const CMessage& message, QWidget* parent = nullptr);

    // The main window's View command: loads the message file at path and shows
    // it modally with the modal-dialog flag set. A file that does not load
    // opens no window and gives false.
    static bool ViewMessage(const QString& path, const ModalDialogFlag& modalDialog, QWidget* parent);

    // "Message from " and the sender's name.
    static QString Caption(const CMessage& message);
    // The sender and subject lines, an empty line, then the text; lines end in CR LF.
    static QString MessageText(const CMessage& message);

    CMessage m_Message;

    QPlainTextEdit* txtMessage = nullptr;
    QPushButton* cmdOK = nullptr;
};

} // namespace orvella
