#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace orvella {

class Settings;
class SpeechOutput;

// The tip of the day: one line of "TIPS.TXT" at a time, read aloud by the
// character. The first tip is picked at random, "Next Tip" walks on through
// the file and wraps. Closing stores the "Show tips at startup" choice in the
// settings.
class TipWindow : public QDialog
{
    Q_OBJECT
public:
    // A number in [0, 1) for the first tip's choice; tests put a fixed one in.
    using RandomSource = std::function<double()>;
    // Whether the first tip silences what the character is saying, as every
    // later tip does, or waits until it is said: the tip at start-up must not
    // swallow the greeting queued just before it.
    enum class FirstTip { CutsSpeech, WaitsForSpeech };

    // speech may be null (no character): the tips are shown, not spoken.
    TipWindow(Settings& settings, SpeechOutput* speech, QWidget* parent = nullptr, RandomSource random = {});
    ~TipWindow() override;

    // The main window's "Display Tip" (and the first activation's tip): shows
    // the tip window modally, with the character's "Orvella Tip" command
    // disabled. While one tip window is
    // open, further requests do nothing. True when a window was shown.
    static bool ShowTip(Settings& settings, SpeechOutput* speech, QWidget* parent,
                        FirstTip first = FirstTip::CutsSpeech, RandomSource random = {});
    // A tip window opened by ShowTip is on screen.
    static bool TipShowing();

    // How the tip file read: its lines, or why there are none.
    enum class FileState { Read, Missing, Unreadable };
    static FileState ReadTips(const QString& path, QStringList& tips);
    // The text shown in place of a tip when the tip file is missing.
    static QString NotFoundText(const QString& folder);

    QStringList Tips;   // the lines of the tip file; a tip's number is its index + 1
    int CurrentTip = 0; // 1-based number of the tip on show; 0 before the first
    bool Activated = false;
    FirstTip m_FirstTip = FirstTip::CutsSpeech;

    void nextTip();
    // Shows and speaks a tip: a random one, or the one after the current.
    void DoNextTip(bool randomMode);

protected:
    bool event(QEvent* e) override;
    void done(int result) override;

private:
    void LoadTips();
    // The first tip, shown once: at the first activation, or just after the
    // window first shows when nothing activates it.
    void FirstActivation();

    Settings& m_settings;
    SpeechOutput* m_speech;
    RandomSource m_random;

private:
    // Its controls, found by tests and screen readers through their object names.
    QLabel* lblHeading = nullptr;
    QLabel* lblTipText = nullptr;
    QCheckBox* chkLoadTipsAtStartup = nullptr;
    QPushButton* cmdNextTip = nullptr;
    QPushButton* cmdOK = nullptr;
};

} // namespace orvella
