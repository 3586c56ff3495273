#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvella {

class frmOptions;

// Page " Character": the character, its behaviour, place, size and voice, the
// reading gesture, the balloon's font and the new-mail sound. Choosing an
// entry shows its effect at once through the main window's character.
class OptionsCharacterPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsCharacterPage(frmOptions& dialog);

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

    void cboCharacter_Click();
    void cboFontName_Click();
    void cboFontSize_Click();
    void cboPosition_Click();
    void cboSize_Click();
    void cboReadingGesture_Click();
    void cboVoiceCharacter_Click();
    void cmdDownload_Click();
    void cmdBrowseWAV_Click();

private:
    frmOptions& m_dialog;
    // The user chose a font in this dialog: only then does OK write one, so
    // a stored font this system lacks keeps its name (and the balloon the
    // system's font it falls back to).
    bool m_fontChosen = false;
};

} // namespace orvella
