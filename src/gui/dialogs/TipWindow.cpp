#include "gui/dialogs/TipWindow.h"
#include "gui/widgets/StayAboveCharacter.h"

#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/IAgent.h"
#include "core/speech/SpeechOutput.h"
#include "core/speech/SpeechText.h"
#include "platform/ProfileFile.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

constexpr char16_t TipFileName[] = u"TIPS.TXT";
constexpr char16_t TipCommand[] = u"Orvella Tip";

bool tipShowing = false;

// The lines of text, each ended by CR LF, LF or a lone CR; a last line
// without an end counts too, an end at the very end adds no empty line.
QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n') continue;
        lines.append(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.append(text.mid(start));
    return lines;
}

} // namespace

TipWindow::TipWindow(Settings& settings, SpeechOutput* speech, QWidget* parent, RandomSource random)
    : QDialog(parent), m_settings(settings), m_speech(speech), m_random(std::move(random))
{
    StayAboveCharacter(this);
    if (!m_random) m_random = [] { return QRandomGenerator::global()->generateDouble(); };

    setObjectName(u"frmTip"_s);
    setWindowTitle(u"Orvella Tip"_s);

    auto* imgTip = new QLabel(this);
    imgTip->setObjectName(u"imgTip"_s);
    // Drawn from the vector icon at the screen's own scale, so it stays crisp at 200 %.
    imgTip->setPixmap(QIcon(u":/icons/tip.svg"_s).pixmap(QSize(48, 48)));
    imgTip->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    imgTip->setAccessibleName(u"Tip"_s);

    lblHeading = new QLabel(u"Here is a tip..."_s, this);
    lblHeading->setObjectName(u"lblHeading"_s);
    QFont headingFont = lblHeading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.25);
    lblHeading->setFont(headingFont);

    // The tip sits on the palette's base colour, like a page, in light and dark styles.
    auto* tipFrame = new QFrame(this);
    tipFrame->setFrameShape(QFrame::StyledPanel);
    tipFrame->setFrameShadow(QFrame::Sunken);
    tipFrame->setBackgroundRole(QPalette::Base);
    tipFrame->setAutoFillBackground(true);
    lblTipText = new QLabel(tipFrame);
    lblTipText->setObjectName(u"lblTipText"_s);
    lblTipText->setTextFormat(Qt::PlainText);
    lblTipText->setWordWrap(true);
    lblTipText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblTipText->setForegroundRole(QPalette::Text);
    // Selectable from the keyboard, so the tip is in the tab order and a
    // screen reader reaches it; it can be copied too.
    lblTipText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblTipText->setFocusPolicy(Qt::StrongFocus);
    const QFontMetrics fm(lblTipText->font());
    lblTipText->setMinimumSize(fm.averageCharWidth() * 56, fm.lineSpacing() * 5);
    auto* frameLayout = new QVBoxLayout(tipFrame);
    frameLayout->addWidget(lblTipText);

    chkLoadTipsAtStartup = new QCheckBox(u"&Show tips at startup"_s, this);
    chkLoadTipsAtStartup->setObjectName(u"chkLoadTipsAtStartup"_s);
    chkLoadTipsAtStartup->setAccessibleName(u"Show tips at startup"_s);
    cmdNextTip = new QPushButton(u"&Next Tip"_s, this);
    cmdNextTip->setObjectName(u"cmdNextTip"_s);
    cmdNextTip->setAccessibleName(u"Next Tip"_s);
    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setAccessibleName(u"OK"_s);
    cmdOK->setDefault(true);

    auto* text = new QVBoxLayout;
    text->addWidget(lblHeading);
    text->addWidget(tipFrame, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(imgTip, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(chkLoadTipsAtStartup);
    bottom->addStretch(1);
    bottom->addWidget(cmdNextTip);
    bottom->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);

    setTabOrder(lblTipText, chkLoadTipsAtStartup);
    setTabOrder(chkLoadTipsAtStartup, cmdNextTip);
    setTabOrder(cmdNextTip, cmdOK);
    cmdOK->setFocus();

    connect(cmdNextTip, &QPushButton::clicked, this, &TipWindow::nextTip);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    chkLoadTipsAtStartup->setChecked(m_settings.m_ShowTips);
    LoadTips();
}

TipWindow::~TipWindow() = default;

TipWindow::FileState TipWindow::ReadTips(const QString& path, QStringList& tips)
{
    tips.clear();
    QFile file(path);
    if (!file.exists()) return FileState::Missing;
    if (!file.open(QIODevice::ReadOnly)) return FileState::Unreadable;
    tips = splitLines(platform::decodeLegacyText(file.readAll()));
    return FileState::Read;
}

QString TipWindow::NotFoundText(const QString& folder)
{
    return QString::fromUtf16(TipFileName) + u" file was not found."_s + u"\n\n"_s +
           u"Tips are not available. Make sure that the "_s + QDir::toNativeSeparators(folder) +
           u" folder contains the "_s + QString::fromUtf16(TipFileName) + u" file."_s;
}

void TipWindow::LoadTips()
{
    const QString folder = AppPath();
    switch (ReadTips(folder + u'/' + QString::fromUtf16(TipFileName), Tips)) {
    case FileState::Missing:
        lblTipText->setText(NotFoundText(folder));
        break;
    case FileState::Unreadable:
        lblTipText->setText(QString::fromUtf16(TipFileName) + u" file could not be read."_s + u"\n\n"_s +
                            u"Tips are not available. Make sure that the "_s +
                            QString::fromUtf16(TipFileName) + u" file in the "_s +
                            QDir::toNativeSeparators(folder) + u" folder can be read."_s);
        break;
    case FileState::Read:
        if (Tips.isEmpty()) lblTipText->setText(QString::fromUtf16(TipFileName) + u" file holds no tips."_s);
        break;
    }
    // Without tips there is nothing to walk on to.
    cmdNextTip->setEnabled(!Tips.isEmpty());
}

bool TipWindow::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) {
        FirstActivation();
    } else if (e->type() == QEvent::Show) {
        // A window manager that keeps new windows from taking the focus never
        // activates this one: the first tip then comes once the window shows,
        // rather than an empty window waiting for a click.
        QTimer::singleShot(0, this, &TipWindow::FirstActivation);
    }
    return QDialog::event(e);
}

void TipWindow::FirstActivation()
{
    if (Activated || !isVisible()) return;
    Activated = true;
    DoNextTip(true);
}

void TipWindow::nextTip()
{
    DoNextTip(false);
}

void TipWindow::DoNextTip(bool randomMode)
{
    const int n = int(Tips.size());
    if (n == 0) return;
    if (m_speech && !(randomMode && m_FirstTip == FirstTip::WaitsForSpeech)) m_speech->StopAgent();
    if (randomMode) {
        // A source that returns 1 or more must not pick a tip past the last.
        CurrentTip = std::clamp(int(m_random() * n + 1), 1, n);
    } else {
        CurrentTip = CurrentTip >= n ? 1 : CurrentTip + 1;
    }
    const QString tip = Tips.at(CurrentTip - 1) + u'.';
    lblTipText->setText(tip);
    if (!m_speech) return;
    if (randomMode) m_speech->SayAndPlay(u"Here is a tip..."_s, u"Suggest"_s, false, true);
    // The tip file is the user's to edit: its text is spoken, never taken as speech tags.
    m_speech->SayAndPlay(NeutralizeSpeechTags(tip), u"Read"_s, true, true);
}

void TipWindow::done(int result)
{
    m_settings.m_ShowTips = chkLoadTipsAtStartup->isChecked();
    Tips.clear();
    QDialog::done(result);
}

bool TipWindow::TipShowing()
{
    return tipShowing;
}

bool TipWindow::ShowTip(Settings& settings, SpeechOutput* speech, QWidget* parent, FirstTip first,
                        RandomSource random)
{
    if (tipShowing) return false;
    tipShowing = true;
    IAgent* agent = speech ? &speech->agent() : nullptr;
    if (agent) agent->setCommandEnabled(QString::fromUtf16(TipCommand), false);
    {
        TipWindow dlg(settings, speech, parent, std::move(random));
        dlg.m_FirstTip = first;
        dlg.exec();
    }
    if (agent) agent->setCommandEnabled(QString::fromUtf16(TipCommand), true);
    tipShowing = false;
    return true;
}

} // namespace orvella
