#include "ui/QuickControlPage.h"

#include "settings/CSettings.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

QuickControlPage::QuickControlPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(u"pageQuickControl"_s);
    auto* grid = new QGridLayout(this);

    auto* voice = new QGroupBox(u"Voice Control"_s, this);
    auto* vg = new QGridLayout(voice);
    auto makeSlider = [&](const QString& name, int min, int max, const QString& caption, const QString& hint) {
        auto* s = new QSlider(Qt::Horizontal, voice);
        s->setObjectName(name);
        s->setRange(min, max);
        s->setSingleStep(1);
        s->setPageStep(5);
        s->setToolTip(hint);
        s->setAccessibleName(caption);
        s->setAccessibleDescription(hint);
        return s;
    };
    sldSpeed = makeSlider(u"sldSpeed"_s, 50, 250, u"Speed"_s, u"How fast does the character speak"_s);
    sldPitch = makeSlider(u"sldPitch"_s, 50, 400, u"Pitch"_s, u"The pitch of the character's voice"_s);
    auto* speedLabel = new QLabel(u"Spee&d:"_s, voice);
    speedLabel->setBuddy(sldSpeed);
    auto* pitchLabel = new QLabel(u"P&itch:"_s, voice);
    pitchLabel->setBuddy(sldPitch);
    vg->addWidget(speedLabel, 0, 0);
    vg->addWidget(sldSpeed, 0, 1);
    vg->addWidget(new QLabel(u"Fast"_s, voice), 0, 2);
    vg->addWidget(pitchLabel, 1, 0);
    vg->addWidget(sldPitch, 1, 1);
    vg->addWidget(new QLabel(u"High"_s, voice), 1, 2);
    cmdPreviewVoice = new QPushButton(u"(&Listen to voice sample)"_s, voice);
    cmdPreviewVoice->setObjectName(u"cmdPreviewVoice"_s);
    cmdPreviewVoice->setAccessibleName(u"Listen to voice sample"_s);
    cmdPreviewVoice->setFlat(true);
    vg->addWidget(cmdPreviewVoice, 2, 1);

    auto* appearance = new QGroupBox(u"Character Appearance"_s, this);
    auto* ag = new QVBoxLayout(appearance);
    chkAlwaysShow = new QCheckBox(u"Al&ways show character"_s, appearance);
    chkAlwaysShow->setObjectName(u"chkAlwaysShow"_s);
    ag->addWidget(chkAlwaysShow);

    auto* mail = new QGroupBox(u"Mail Checking"_s, this);
    auto* mg = new QVBoxLayout(mail);
    chkDontCheck = new QCheckBox(u"Enable mail chec&king"_s, mail);
    chkDontCheck->setObjectName(u"chkDontCheck"_s);
    auto* note = new QLabel(u"Unchecking this option, will cause Orvella not to check for new e-mail"_s, mail);
    note->setWordWrap(true);
    chkDontCheck->setAccessibleDescription(note->text());
    mg->addWidget(chkDontCheck);
    mg->addWidget(note);

    auto* reminders = new QGroupBox(u"Reminders"_s, this);
    auto* rg = new QVBoxLayout(reminders);
    chkEnableReminders = new QCheckBox(u"Enable re&minders"_s, reminders);
    chkEnableReminders->setObjectName(u"chkQuickEnableReminders"_s);
    rg->addWidget(chkEnableReminders);

    grid->addWidget(voice, 0, 0, 1, 2);
    grid->addWidget(appearance, 1, 0);
    grid->addWidget(mail, 1, 1);
    grid->addWidget(reminders, 2, 0);
    grid->setRowStretch(3, 1);

    connect(sldSpeed, &QSlider::valueChanged, this, &QuickControlPage::speedChanged);
    connect(sldPitch, &QSlider::valueChanged, this, &QuickControlPage::pitchChanged);
    connect(cmdPreviewVoice, &QPushButton::clicked, this, &QuickControlPage::previewVoice);
    // toggled, not clicked: a screen reader's toggle action changes a box
    // without a click. apply() blocks the signals of its own changes.
    connect(chkAlwaysShow, &QCheckBox::toggled, this, &QuickControlPage::alwaysShowChanged);
    connect(chkDontCheck, &QCheckBox::toggled, this, &QuickControlPage::mailCheckingChanged);
    connect(chkEnableReminders, &QCheckBox::toggled, this, &QuickControlPage::remindersChanged);
}

void QuickControlPage::apply(const CSettings& settings)
{
    const QSignalBlocker b1(chkAlwaysShow), b2(chkDontCheck), b3(chkEnableReminders), b4(sldSpeed),
        b5(sldPitch);
    chkAlwaysShow->setChecked(!settings.m_Hide);
    chkDontCheck->setChecked(!settings.m_DontCheck);
    chkEnableReminders->setChecked(settings.m_EnableReminders);
    sldSpeed->setValue(settings.m_VoiceSpeed);
    sldPitch->setValue(settings.m_VoicePitch);
}

} // namespace orvella
