#include "gui/options/OptionsCharacterPage.h"
#include "gui/widgets/WidgetHelpers.h"

#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/CharacterControl.h"
#include "core/speech/IAgent.h"
#include "core/speech/SpeechOutput.h"
#include "gui/options/OptionsDialog.h"
#include "gui/options/OptionsServices.h"
#include "gui/widgets/ControlNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// A group whose caption is also the name of the one list in it.
QGroupBox* listGroup(const QString& caption, const QString& name, QComboBox* list, QWidget* parent)
{
    auto* group = named(new QGroupBox(caption, parent), name);
    list->setParent(group);
    list->setAccessibleName(AccessibleText(caption));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(list);
    return group;
}

} // namespace

OptionsCharacterPage::OptionsCharacterPage(OptionsDialog& dialog) : m_dialog(dialog)
{
    setObjectName(u"pageCharacter"_s);

    QGroupBox* FrameCharacter = buildCharacterGroup();
    QGroupBox* FrameBehavior = buildBehaviorGroup();
    cboPosition = named(new QComboBox(this), u"cboPosition"_s);
    cboPosition->addItems({u"Center"_s, u"Top Center"_s, u"Bottom Center"_s, u"Top Left"_s, u"Top Right"_s,
                           u"Bottom Left"_s, u"Bottom Right"_s, u"Stay in place"_s});
    cboSize = named(new QComboBox(this), u"cboSize"_s);
    cboSize->addItems({u"Extra Small"_s, u"Small"_s, u"Regular"_s, u"Large"_s, u"Extra Large"_s});
    cboVoiceCharacter = named(new QComboBox(this), u"cboVoiceCharacter"_s);
    cboVoiceCharacter->addItems({u"Normal"_s, u"Monotone"_s, u"Whisper"_s});
    auto* FramePosition = listGroup(u"Character &Position"_s, u"FramePosition"_s, cboPosition, this);
    auto* FrameSize = listGroup(u"Character &Size"_s, u"FrameSize"_s, cboSize, this);
    auto* FrameVoice = listGroup(u"&Voice Type"_s, u"FrameVoice"_s, cboVoiceCharacter, this);
    buildBalloonGroup();
    QLayout* sound = buildSoundRow();

    auto* grid = new QGridLayout;
    grid->addWidget(FrameCharacter, 0, 0, 1, 3);
    grid->addWidget(FrameBehavior, 1, 0, 1, 3);
    grid->addWidget(FramePosition, 2, 0);
    grid->addWidget(FrameSize, 2, 1);
    grid->addWidget(FrameVoice, 2, 2);
    grid->addWidget(FrameBalloon, 3, 0, 1, 3);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(sound);
    layout->addStretch(1);

    QWidget* const order[] = {cboCharacter,      cmdDownload, chkFast,           cboBehavior,
                              cboReadingGesture, cboPosition, cboSize,           cboVoiceCharacter,
                              cboFontName,       cboFontSize, txtWAVNewMessages, cmdBrowseWAV};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    // Previews answer the user's choice, also of the entry already shown.
    connect(cboCharacter, &QComboBox::activated, this, &OptionsCharacterPage::onCharacterChosen);
    connect(cboFontName, &QComboBox::activated, this, &OptionsCharacterPage::onFontNameChosen);
    connect(cboFontSize, &QComboBox::activated, this, &OptionsCharacterPage::onFontSizeChosen);
    connect(cboPosition, &QComboBox::activated, this, &OptionsCharacterPage::onPositionChosen);
    connect(cboSize, &QComboBox::activated, this, &OptionsCharacterPage::onSizeChosen);
    connect(cboReadingGesture, &QComboBox::activated, this, &OptionsCharacterPage::onReadingGestureChosen);
    connect(cboVoiceCharacter, &QComboBox::activated, this, &OptionsCharacterPage::onVoiceCharacterChosen);
    connect(cmdDownload, &QPushButton::clicked, this, &OptionsCharacterPage::download);
    connect(cmdBrowseWAV, &QPushButton::clicked, this, &OptionsCharacterPage::browseSound);
}

QGroupBox* OptionsCharacterPage::buildCharacterGroup()
{
    auto* FrameCharacter = named(new QGroupBox(u"Cha&racter"_s, this), u"FrameCharacter"_s);
    cboCharacter = named(new QComboBox(FrameCharacter), u"cboCharacter"_s);
    cboCharacter->setAccessibleName(u"Character"_s);
    cmdDownload = named(new QPushButton(u"&Download More Characters"_s, FrameCharacter), u"cmdDownload"_s);
    lblCharacterMessage = named(new QLabel(FrameCharacter), u"lblCharacterMessage"_s);
    lblCharacterMessage->setWordWrap(true);
    chkFast =
        named(new QCheckBox(u"Play animation when character is displayed"_s, FrameCharacter), u"chkFast"_s);
    auto* character = new QGridLayout(FrameCharacter);
    character->addWidget(cboCharacter, 0, 0);
    character->addWidget(cmdDownload, 0, 1);
    character->addWidget(lblCharacterMessage, 1, 0, 1, 2);
    character->addWidget(chkFast, 2, 0, 1, 2);
    character->setColumnStretch(0, 1);
    return FrameCharacter;
}

QGroupBox* OptionsCharacterPage::buildBehaviorGroup()
{
    auto* FrameBehavior = named(new QGroupBox(u"Character &Behavior"_s, this), u"FrameBehavior"_s);
    cboBehavior = named(new QComboBox(FrameBehavior), u"cboBehavior"_s);
    cboBehavior->addItems({u"Character Talks (With Balloon)"_s, u"Character Talks (No Balloon)"_s,
                           u"Character Thinks (Balloon Only)"_s, u"Character Is Silent"_s});
    cboBehavior->setAccessibleName(u"Character Behavior"_s);
    cboReadingGesture = named(new QComboBox(FrameBehavior), u"cboReadingGesture"_s);
    auto* behavior = new QGridLayout(FrameBehavior);
    behavior->addWidget(cboBehavior, 0, 0, 1, 2);
    behavior->addWidget(
        FieldLabel(u"Gesture before reading first &message"_s, cboReadingGesture, FrameBehavior), 1, 0);
    behavior->addWidget(cboReadingGesture, 1, 1);
    behavior->setColumnStretch(1, 1);
    return FrameBehavior;
}

void OptionsCharacterPage::buildBalloonGroup()
{
    FrameBalloon = named(new QGroupBox(u" Balloon"_s, this), u"FrameBalloon"_s);
    cboFontName = named(new QComboBox(FrameBalloon), u"cboFontName"_s);
    cboFontSize = named(new QComboBox(FrameBalloon), u"cboFontSize"_s);
    cboFontSize->addItems({u"8"_s, u"10"_s, u"12"_s, u"14"_s, u"16"_s, u"18"_s, u"20"_s, u"22"_s, u"24"_s});
    auto* balloon = new QGridLayout(FrameBalloon);
    balloon->addWidget(FieldLabel(u"F&ont"_s, cboFontName, FrameBalloon), 0, 0);
    balloon->addWidget(cboFontName, 0, 1);
    balloon->addWidget(FieldLabel(u"Si&ze"_s, cboFontSize, FrameBalloon), 0, 2);
    balloon->addWidget(cboFontSize, 0, 3);
    balloon->setColumnStretch(1, 1);
}

QLayout* OptionsCharacterPage::buildSoundRow()
{
    txtWAVNewMessages = named(new QLineEdit(this), u"txtWAVNewMessages"_s);
    cmdBrowseWAV = named(new QPushButton(u"Brows&e..."_s, this), u"cmdBrowseWAV"_s);
    cmdBrowseWAV->setAccessibleDescription(u"Browse for the new-mail sound file"_s);
    auto* sound = new QGridLayout;
    sound->addWidget(FieldLabel(u"Play this sound file when &new messages arrive"_s, txtWAVNewMessages, this),
                     0, 0, 1, 2);
    sound->addWidget(txtWAVNewMessages, 1, 0);
    sound->addWidget(cmdBrowseWAV, 1, 1);
    return sound;
}

QStringList OptionsCharacterPage::CharacterFiles(const QString& folder)
{
    QStringList out;
    if (folder.isEmpty()) return out;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        if (name.endsWith(u".acs"_s, Qt::CaseInsensitive)) out << name.toLower();
    return out;
}

void OptionsCharacterPage::InitCharacterList()
{
    lblCharacterMessage->setText(
        u"To add more characters, go to our web site by clicking the download button above."_s);
    cboCharacter->setEnabled(true);
    cboCharacter->clear();
    for (const QString& folder : {AppPath(), Program().CharactersFolder})
        for (const QString& name : CharacterFiles(folder))
            if (cboCharacter->findText(name) < 0) cboCharacter->addItem(name);
    SelectCharacter(m_dialog.services().settings.m_CharacterName);
}

void OptionsCharacterPage::SelectCharacter(const QString& name)
{
    cboCharacter->setCurrentIndex(cboCharacter->findText(name.toLower()));
}

QString OptionsCharacterPage::SelectedCharacter() const
{
    return cboCharacter->currentIndex() >= 0 ? cboCharacter->currentText() : QString();
}

void OptionsCharacterPage::InitValues()
{
    const Settings& s = m_dialog.services().settings;
    SelectIndex(cboBehavior, s.m_Behavior);
    SelectIndex(cboPosition, s.m_Position);
    SelectIndex(cboSize, s.m_CharacterSize);
    chkFast->setChecked(!s.m_Fast);
    txtWAVNewMessages->setText(s.m_WAVNewMessages);
}

void OptionsCharacterPage::InitVoice()
{
    if (!SelectText(cboVoiceCharacter, m_dialog.services().settings.m_VoiceCharacter))
        cboVoiceCharacter->setCurrentIndex(0);
}

QString OptionsCharacterPage::FamilyName(const QString& name)
{
    QString family = name.trimmed();
    if (family.endsWith(u']')) {
        const qsizetype open = family.lastIndexOf(u'[');
        if (open > 0) family = family.left(open).trimmed();
    }
    return family;
}

QStringList OptionsCharacterPage::FontFamilies(const QStringList& installed)
{
    QStringList out;
    QSet<QString> seen;
    for (const QString& name : installed) {
        const QString family = FamilyName(name);
        if (family.isEmpty() || seen.contains(family.toCaseFolded())) continue;
        seen.insert(family.toCaseFolded());
        out << family;
    }
    return out;
}

// A stored font that is not installed (the settings' "MS Sans Serif", or one
// of a system the settings came from) selects nothing: the list shows the
// name, and writing back keeps it unless the user chooses another.
void OptionsCharacterPage::InitFonts()
{
    m_fontChosen = false;
    cboFontName->clear();
    QStringList installed;
    for (const QString& family : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(family)) installed << family;
    cboFontName->addItems(FontFamilies(installed));
    const QString stored = m_dialog.services().settings.m_FontName;
    const QString family = FamilyName(stored);
    int index = -1;
    for (int i = 0; i < cboFontName->count() && index < 0 && !family.isEmpty(); ++i)
        if (cboFontName->itemText(i).compare(family, Qt::CaseInsensitive) == 0) index = i;
    cboFontName->setCurrentIndex(index);
    const bool missing = index < 0 && !stored.isEmpty();
    cboFontName->setPlaceholderText(missing ? stored + u" (not installed)"_s : QString());
    cboFontName->setAccessibleDescription(
        missing ? u"The font "_s + stored + u" is not installed; the balloon uses the system's font"_s
                : QString());
}

void OptionsCharacterPage::InitFontSize()
{
    SelectText(cboFontSize, QString::number(m_dialog.services().settings.m_FontSize), u"10"_s);
}

void OptionsCharacterPage::WriteBack()
{
    Settings& s = m_dialog.services().settings;
    s.m_Behavior = SelectedIndex(cboBehavior, s.m_Behavior);
    s.m_Position = SelectedIndex(cboPosition, s.m_Position);
    s.m_CharacterSize = SelectedIndex(cboSize, s.m_CharacterSize);
    s.m_VoiceCharacter = SelectedText(cboVoiceCharacter, s.m_VoiceCharacter);
    s.m_ReadingGesture = SelectedText(cboReadingGesture, s.m_ReadingGesture);
    s.m_Fast = !chkFast->isChecked();
    if (m_fontChosen) s.m_FontName = SelectedText(cboFontName, s.m_FontName);
    if (cboFontSize->currentIndex() >= 0) s.m_FontSize = cboFontSize->currentText().toInt();
    s.m_WAVNewMessages = txtWAVNewMessages->text();
}

void OptionsCharacterPage::onCharacterChosen()
{
    if (!m_dialog.Ready || cboCharacter->currentIndex() < 0) return;
    OptionsServices& services = m_dialog.services();
    Settings& s = services.settings;
    s.m_CharacterName = cboCharacter->currentText();
    if (s.m_CharacterName.compare(m_dialog.LoadedCharacter, Qt::CaseInsensitive) != 0 &&
        !m_dialog.LoadCharacter()) {
        // The character that would not load leaves the one before in its place.
        s.m_CharacterName = m_dialog.LoadedCharacter;
        m_dialog.LoadCharacter();
        SelectCharacter(m_dialog.LoadedCharacter);
        return;
    }
    m_dialog.LoadedCharacter = s.m_CharacterName;
    const QString name = services.agent ? services.agent->Name() : QString();
    m_dialog.Say(u"Hi "_s + s.m_UserName + u". My name is "_s + name + u". Thanks for selecting me."_s,
                 u"Wave"_s);
    m_dialog.FillGestureLists(s.m_WelcomeGesture, s.m_ReadingGesture, s.m_TimeGesture);
}

void OptionsCharacterPage::onFontNameChosen()
{
    if (!m_dialog.Ready || cboFontName->currentIndex() < 0) return;
    m_fontChosen = true;
    cboFontName->setAccessibleDescription(QString());
    OptionsServices& services = m_dialog.services();
    services.settings.m_FontName = cboFontName->currentText();
    if (services.character) services.character->SetBalloon();
    m_dialog.Say(u"This is how the "_s + services.settings.m_FontName + u" font, will look."_s, u"None"_s);
}

void OptionsCharacterPage::onFontSizeChosen()
{
    if (!m_dialog.Ready || cboFontSize->currentIndex() < 0) return;
    OptionsServices& services = m_dialog.services();
    services.settings.m_FontSize = cboFontSize->currentText().toInt();
    if (services.character) services.character->SetBalloon();
    m_dialog.Say(u"This is how the new font size, will look."_s, u"None"_s);
}

void OptionsCharacterPage::onPositionChosen()
{
    const int index = cboPosition->currentIndex();
    if (!m_dialog.Ready || index < 0) return;
    OptionsServices& services = m_dialog.services();
    if (index != services.settings.m_Position) {
        m_dialog.Say(u"I am moving to a new place."_s, u"GetAttention"_s, false);
        services.settings.m_Position = index;
        if (services.character) services.character->SetAgentPos();
    }
    m_dialog.Say(u"I am now at the "_s + cboPosition->currentText(), u"Wave"_s);
}

void OptionsCharacterPage::onSizeChosen()
{
    const int index = cboSize->currentIndex();
    if (!m_dialog.Ready || index < 0) return;
    OptionsServices& services = m_dialog.services();
    services.settings.m_CharacterSize = index;
    if (services.character) services.character->SetCharacterSize();
    m_dialog.Say(u"I am now "_s + cboSize->currentText(), u"None"_s);
}

void OptionsCharacterPage::onReadingGestureChosen()
{
    if (!m_dialog.Ready || cboReadingGesture->currentIndex() < 0) return;
    m_dialog.services().settings.m_ReadingGesture = cboReadingGesture->currentText();
    m_dialog.Say(QString(), cboReadingGesture->currentText());
}

void OptionsCharacterPage::onVoiceCharacterChosen()
{
    if (!m_dialog.Ready || cboVoiceCharacter->currentIndex() < 0) return;
    m_dialog.services().settings.m_VoiceCharacter = cboVoiceCharacter->currentText();
    m_dialog.Say(u"This is my new voice."_s, u"None"_s);
}

void OptionsCharacterPage::download()
{
    ShellOpen(QString::fromUtf16(WebSiteBase) + u"/orvella/char.htm"_s);
}

void OptionsCharacterPage::browseSound()
{
    BrowseForSound(txtWAVNewMessages, this, m_dialog.services().speech);
}

} // namespace orvella
