#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace orvella {

// Message boxes and file dialogs go through here, so tests can answer them.
// Each queued answer is used by the next call; with none queued the real
// dialog is shown.
class Dialogs
{
public:
    struct Asked
    {
        QString title;
        QString text;
    };

    static bool askYesNo(QWidget* parent, const QString& title, const QString& text,
                         QMessageBox::Icon icon = QMessageBox::Question);
    static void inform(QWidget* parent, const QString& title, const QString& text,
                       QMessageBox::Icon icon = QMessageBox::Information);
    // Empty when the user cancelled.
    static QString openFileName(QWidget* parent, const QString& title, const QString& folder,
                                const QString& filter, const QString& defaultSuffix = QString());

    // Test hooks.
    static void queueAnswer(bool yes);
    static void queueFileName(const QString& fileName); // an empty name cancels
    static QList<Asked> takeAsked();                    // questions and notices shown so far
    static void reset();
};

} // namespace orvella
