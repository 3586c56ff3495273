#include "gui/widgets/Dialogs.h"

#include "gui/widgets/StayAboveCharacter.h"

#include <QFileDialog>
#include <QQueue>

namespace orvella {

namespace {
QQueue<bool>& answers()
{
    static QQueue<bool> q;
    return q;
}
QQueue<QString>& fileNames()
{
    static QQueue<QString> q;
    return q;
}
QList<Dialogs::Asked>& asked()
{
    static QList<Dialogs::Asked> l;
    return l;
}
} // namespace

bool Dialogs::askYesNo(QWidget* parent, const QString& title, const QString& text, QMessageBox::Icon icon)
{
    asked().append({title, text});
    if (!answers().isEmpty()) return answers().dequeue();
    QMessageBox box(icon, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    StayAboveCharacter(&box);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void Dialogs::inform(QWidget* parent, const QString& title, const QString& text, QMessageBox::Icon icon)
{
    asked().append({title, text});
    if (!answers().isEmpty()) {
        answers().dequeue();
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    StayAboveCharacter(&box);
    box.exec();
}

QString Dialogs::openFileName(QWidget* parent, const QString& title, const QString& folder,
                              const QString& filter, const QString& defaultSuffix)
{
    asked().append({title, folder});
    if (!fileNames().isEmpty()) return fileNames().dequeue();
    QFileDialog dialog(parent, title, folder, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

void Dialogs::queueAnswer(bool yes)
{
    answers().enqueue(yes);
}
void Dialogs::queueFileName(const QString& fileName)
{
    fileNames().enqueue(fileName);
}
QList<Dialogs::Asked> Dialogs::takeAsked()
{
    return std::exchange(asked(), {});
}
void Dialogs::reset()
{
    answers().clear();
    fileNames().clear();
    asked().clear();
}

} // namespace orvella
