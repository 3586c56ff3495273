#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace orvella {

// The About box: the program's name and version, what it speaks through, and
// a link to its support page.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

    // Shows the About box modally (reminders wait while a modal window is
    // open: QApplication::activeModalWidget()). An About box already open
    // (the tray menu reaches it while one shows) is raised instead of
    // opening a second.
    static void ShowAbout(QWidget* parent);

    // The program's name and version, as the box shows them.
    static QString ProductName();
    // The address the link shows and opens: the support page.
    static QString LinkAddress();

    void openLink();

private:
    // Its controls, found by tests and screen readers through their object names.
    QLabel* lblProductName = nullptr;
    QLabel* lblEngine = nullptr;
    QPushButton* lblLink = nullptr;
    QPushButton* cmdOK = nullptr;
};

} // namespace orvella
