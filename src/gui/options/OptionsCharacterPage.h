#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;

namespace orvella {

class OptionsDialog;

// Page " Character": the character, its behaviour, place, size and voice, the
// reading gesture, the balloon's font and the new-mail sound. Choosing an
// entry shows its effect at once through the main window's character.
class OptionsCharacterPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsCharacterPage(OptionsDialog& dialog);

    // The character files of the program folder, then of the characters
    // folder, each name once, lower-cased; the configured one selected.
    void InitCharacterList();
    void InitValues();
    void InitVoice();
    void InitFonts();
    void InitFontSize();
    void WriteBack();
    // The chosen character file, or empty.
    QString SelectedCharacter() const;
    // Shows name (in any letter case) as the chosen character.
    void SelectCharacter(const QString& name);

    // The character files found in folder, lower-cased, in name order.
    static QStringList CharacterFiles(const QString& folder);
    // The font families to offer, from the installed ones: each name once
    // (letter case aside), without the foundry Qt adds ("C059 [UKWN]") to
    // tell the makers of one family apart; the balloon takes any of them.
    static QStringList FontFamilies(const QStringList& installed);
    // name without a foundry in brackets.
    static QString FamilyName(const QString& name);

    void onCharacterChosen();
    void onFontNameChosen();
    void onFontSizeChosen();
    void onPositionChosen();
    void onSizeChosen();
    void onReadingGestureChosen();
    void onVoiceCharacterChosen();
    void download();
    void browseSound();

private:
    // The page's parts, built by the constructor.
    QGroupBox* buildCharacterGroup();
    QGroupBox* buildBehaviorGroup();
    void buildBalloonGroup();
    QLayout* buildSoundRow();

    OptionsDialog& m_dialog;
    // The user chose a font in this dialog: only then does OK write one, so
    // a stored font this system lacks keeps its name (and the balloon the
    // system's font it falls back to).
    bool m_fontChosen = false;

private:
    // A page is part of its window, which reads and fills its controls.
    friend class OptionsDialog;
    // Its controls, found by tests and screen readers through their object names.
    QComboBox* cboCharacter = nullptr;
    QPushButton* cmdDownload = nullptr;
    QLabel* lblCharacterMessage = nullptr;
    QCheckBox* chkFast = nullptr;
    QComboBox* cboBehavior = nullptr;
    QComboBox* cboReadingGesture = nullptr;
    QComboBox* cboPosition = nullptr;
    QComboBox* cboSize = nullptr;
    QComboBox* cboVoiceCharacter = nullptr;
    QGroupBox* FrameBalloon = nullptr;
    QComboBox* cboFontName = nullptr;
    QComboBox* cboFontSize = nullptr;
    QLineEdit* txtWAVNewMessages = nullptr;
    QPushButton* cmdBrowseWAV = nullptr;
};

} // namespace orvella
