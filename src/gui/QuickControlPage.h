#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;
class QSlider;

namespace orvella {

class Settings;

// The main window's " &Quick Control" page: the voice's speed and pitch with
// a sample, and the switches for the character, mail checking and reminders.
class QuickControlPage : public QWidget
{
    Q_OBJECT
public:
    explicit QuickControlPage(QWidget* parent = nullptr);

    // Shows the settings' values without reporting them back as changes.
    void apply(const Settings& settings);

Q_SIGNALS:
    void speedChanged(int speed);
    void pitchChanged(int pitch);
    void previewVoice();
    void alwaysShowChanged(bool checked);
    // Ticked: mail checking on.
    void mailCheckingChanged(bool enabled);
    void remindersChanged(bool enabled);

private:
    // A page is part of its window, which reads and fills its controls.
    friend class MainWindow;
    // Its controls, found by tests and screen readers through their object names.
    QSlider* sldSpeed = nullptr;
    QSlider* sldPitch = nullptr;
    QPushButton* cmdPreviewVoice = nullptr;
    QCheckBox* chkAlwaysShow = nullptr;
    QCheckBox* chkDontCheck = nullptr;
    QCheckBox* chkEnableReminders = nullptr;
};

} // namespace orvella
