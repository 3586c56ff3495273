#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace orvella {

class OptionsDialog;

// Page " General": the user's name, the e-mail program, start at log-in,
// popup, tips, notifications, Do Not Disturb, prompting, and the spoken clock.
class OptionsGeneralPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsGeneralPage(OptionsDialog& dialog);

    void InitValues();
    // Whether the program starts at log-in now; the box shows it.
    bool InitAutoStart();
    void WriteBack();

    void onSayTimeToggled();
    void onDoNotDisturbToggled();
    void browse();
    void browseTimeSound();

private:
    OptionsDialog& m_dialog;

private:
    // A page is part of its window, which reads and fills its controls.
    friend class OptionsDialog;
    // Its controls, found by tests and screen readers through their object names.
    QLineEdit* txtUserName = nullptr;
    QLineEdit* txtEMailProgram = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QCheckBox* chkAutoStart = nullptr;
    QCheckBox* chkPopup = nullptr;
    QCheckBox* chkShowTips = nullptr;
    QCheckBox* chkNotification = nullptr;
    QCheckBox* chkDoNotDisturb = nullptr;
    QCheckBox* chkDoNotDisturbReminders = nullptr;
    QComboBox* cboPromptUser = nullptr;
    QGroupBox* FrameTime = nullptr;
    QCheckBox* chkSayTime = nullptr;
    QComboBox* cboSayTimeEvery = nullptr;
    QLineEdit* txtBeforeTime = nullptr;
    QComboBox* cboTimeGesture = nullptr;
    QLineEdit* txtTimeSoundFile = nullptr;
    QPushButton* cmdTimeSoundBrowse = nullptr;
};

} // namespace orvella
