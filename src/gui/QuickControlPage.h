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

    QSlider* sldSpeed = nullptr;
    QSlider* sldPitch = nullptr;
    QPushButton* cmdPreviewVoice = nullptr;
    QCheckBox* chkAlwaysShow = nullptr;
    QCheckBox* chkDontCheck = nullptr;
    QCheckBox* chkEnableReminders = nullptr;

Q_SIGNALS:
    void speedChanged(int speed);
    void pitchChanged(int pitch);
    void previewVoice();
    void alwaysShowChanged(bool checked);
    // Ticked: mail checking on.
    void mailCheckingChanged(bool enabled);
    void remindersChanged(bool enabled);
};

} // namespace orvella
