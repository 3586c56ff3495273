#include "reminders/frmAddEditReminder.h"
#include "ui/StayAboveCharacter.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "reminders/CReminder.h"
#include "reminders/ReminderValues.h"
#include "reminders/UpDownEdit.h"
#include "settings/CSettings.h"
#include "speech/CharacterControl.h"
#include "speech/SpeechOutput.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// A label for a control; the control's accessible name is the label's text
// without its colon, as a screen reader should say it.
QLabel* labelFor(const QString& caption, QWidget* control, QWidget* parent)
{
    auto* label = new QLabel(caption, parent);
    label->setBuddy(control);
    QString name = caption;
    name.remove(u'&');
    if (name.endsWith(u':')) name.chop(1);
    control->setAccessibleName(name);
    return label;
}

QString dateFormatWithFullYear()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(u"yyyy"_s)) format.replace(u"yy"_s, u"yyyy"_s);
    return format;
}

// The locale's short time format without its seconds (the C locale's short
// format is "HH:mm:ss"): a reminder is due to the minute, so seconds shown
// there would be dropped on OK. A separator before the seconds goes with them.
QString hoursAndMinutesFormat()
{
    const QString format = QLocale().timeFormat(QLocale::ShortFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') quoted = !quoted;
        if (quoted || (c != u's' && c != u'z')) {
            out += c;
            continue;
        }
        while (!out.isEmpty() && !out.back().isLetter() && out.back() != u'\'')
            out.chop(1);
        while (i + 1 < format.size() && format[i + 1] == c)
            ++i;
    }
    return out;
}

} // namespace

frmAddEditReminder::frmAddEditReminder(CSettings& settings, SpeechOutput* speech, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_speech(speech)
{
    StayAboveCharacter(this);
    setObjectName(u"frmAddEditReminder"_s);
    setWindowTitle(u"Add Orvella Reminder"_s);
    setWindowIcon(QIcon(u":/icons/reminder-enabled.svg"_s));

    auto* top = new QHBoxLayout;
    top->addWidget(buildWhenGroup());
    top->addWidget(buildRepeatGroup(), 1);
    auto* l = new QVBoxLayout(this);
    l->addLayout(top);
    l->addWidget(buildWhatGroup(), 1);
    l->addWidget(buildHowGroup());

    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(u"&Cancel"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    l->addLayout(buttons);

    // Tab order follows the form from top left to bottom right.
    QList<QWidget*> order{dtDate, dtTime, cmdNow};
    for (QRadioButton* b : optRecur)
        order << b;
    order << optEveryDaily[0] << txtEveryDaily->edit << optEveryDaily[1] << txtEveryWeekly->edit;
    for (QCheckBox* b : chkWeekly)
        order << b;
    order << txtMonths->edit << cboIfLate << txtContents << chkPopupWindow << txtReminderSoundFile
          << cmdReminderSoundBrowse << cboReminderGesture << cmdOK << cmdCancel;
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(m_recurGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) optRecur_Click(id);
    });
    connect(m_dailyGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) optEveryDaily_Click(id);
    });
    connect(cmdNow, &QPushButton::clicked, this, &frmAddEditReminder::cmdNow_Click);
    connect(cmdReminderSoundBrowse, &QPushButton::clicked, this,
            &frmAddEditReminder::cmdReminderSoundBrowse_Click);
    connect(txtContents, &QPlainTextEdit::textChanged, this, &frmAddEditReminder::updateOkState);
    connect(cmdOK, &QPushButton::clicked, this, &frmAddEditReminder::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAddEditReminder::cmdCancel_Click);

    optRecur[0]->setChecked(true);
    optRecur_Click(0);
    updateOkState();
}

// ---------------------------------------------------------------------------
// Building the form

QWidget* frmAddEditReminder::buildWhenGroup()
{
    auto* group = new QGroupBox(u"When to Remind"_s, this);
    dtDate = new QDateEdit(group);
    dtDate->setObjectName(u"dtDate"_s);
    dtDate->setCalendarPopup(true);
    dtDate->setDisplayFormat(dateFormatWithFullYear());
    dtTime = new QTimeEdit(group);
    dtTime->setObjectName(u"dtTime"_s);
    dtTime->setDisplayFormat(hoursAndMinutesFormat());
    cmdNow = new QPushButton(u"&Now"_s, group);
    cmdNow->setObjectName(u"cmdNow"_s);

    auto* g = new QGridLayout(group);
    g->addWidget(labelFor(u"Date:"_s, dtDate, group), 0, 0);
    g->addWidget(dtDate, 0, 1);
    g->addWidget(labelFor(u"Time:"_s, dtTime, group), 1, 0);
    g->addWidget(dtTime, 1, 1);
    g->addWidget(cmdNow, 2, 1, Qt::AlignLeft);
    g->setRowStretch(3, 1);
    return group;
}

QWidget* frmAddEditReminder::buildRepeatGroup()
{
    auto* group = new QGroupBox(u"Repeat Reminder"_s, this);
    m_recurGroup = new QButtonGroup(this);
    auto* kinds = new QVBoxLayout;
    const QStringList captions{u"Never"_s, u"Daily"_s, u"Weekly"_s, u"Monthly"_s, u"Yearly"_s};
    for (int i = 0; i < 5; ++i) {
        optRecur[size_t(i)] = new QRadioButton(captions[i], group);
        optRecur[size_t(i)]->setObjectName(u"optRecur"_s + QString::number(i));
        m_recurGroup->addButton(optRecur[size_t(i)], i);
        kinds->addWidget(optRecur[size_t(i)]);
    }
    kinds->addStretch(1);

    picRecur = new QWidget(group);
    picRecur->setObjectName(u"picRecur"_s);
    // The dialog keeps its size when "Never" hides the pages.
    QSizePolicy keep = picRecur->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    picRecur->setSizePolicy(keep);
    tabRecur = new QStackedWidget(picRecur);
    tabRecur->setObjectName(u"tabRecur"_s);
    tabRecur->addWidget(buildDailyPage());
    tabRecur->addWidget(buildWeeklyPage());
    tabRecur->addWidget(buildMonthlyPage());
    tabRecur->addWidget(buildYearlyPage());
    auto* pl = new QVBoxLayout(picRecur);
    pl->setContentsMargins(0, 0, 0, 0);
    pl->addWidget(tabRecur);

    cboIfLate = new QComboBox(group);
    cboIfLate->setObjectName(u"cboIfLate"_s);
    cboIfLate->addItems({u"Remind me anyway"_s, u"Remind me only if Orvella is running on that day"_s});

    auto* row = new QHBoxLayout;
    row->addLayout(kinds);
    row->addWidget(picRecur, 1);
    auto* late = new QHBoxLayout;
    late->addWidget(labelFor(u"If Late:"_s, cboIfLate, group));
    late->addWidget(cboIfLate, 1);
    auto* g = new QVBoxLayout(group);
    g->addLayout(row, 1);
    g->addLayout(late);
    return group;
}

QWidget* frmAddEditReminder::buildDailyPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageDaily"_s);
    m_dailyGroup = new QButtonGroup(this);
    optEveryDaily[0] = new QRadioButton(u"Repeat every"_s, page);
    optEveryDaily[0]->setObjectName(u"optEveryDaily0"_s);
    optEveryDaily[1] = new QRadioButton(u"Every weekday"_s, page);
    optEveryDaily[1]->setObjectName(u"optEveryDaily1"_s);
    m_dailyGroup->addButton(optEveryDaily[0], 0);
    m_dailyGroup->addButton(optEveryDaily[1], 1);
    optEveryDaily[0]->setChecked(true);
    txtEveryDaily = new UpDownEdit(u"txtEveryDaily"_s, u"Repeat every day(s)"_s, page);

    auto* every = new QHBoxLayout;
    every->addWidget(optEveryDaily[0]);
    every->addWidget(txtEveryDaily);
    every->addWidget(new QLabel(u"day(s)"_s, page));
    every->addStretch(1);
    auto* l = new QVBoxLayout(page);
    l->addLayout(every);
    l->addWidget(optEveryDaily[1]);
    l->addStretch(1);
    return page;
}

QWidget* frmAddEditReminder::buildWeeklyPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageWeekly"_s);
    txtEveryWeekly = new UpDownEdit(u"txtEveryWeekly"_s, u"Repeat every week(s)"_s, page);
    auto* every = new QHBoxLayout;
    every->addWidget(new QLabel(u"Repeat every"_s, page));
    every->addWidget(txtEveryWeekly);
    every->addWidget(new QLabel(u"week(s) on:"_s, page));
    every->addStretch(1);

    const QStringList days{u"Sunday"_s,   u"Monday"_s, u"Tuesday"_s, u"Wednesday"_s,
                           u"Thursday"_s, u"Friday"_s, u"Saturday"_s};
    auto* grid = new QGridLayout;
    for (int i = 0; i < 7; ++i) {
        chkWeekly[size_t(i)] = new QCheckBox(days[i], page);
        chkWeekly[size_t(i)]->setObjectName(u"chkWeekly"_s + QString::number(i));
        grid->addWidget(chkWeekly[size_t(i)], i / 4, i % 4);
    }
    auto* l = new QVBoxLayout(page);
    l->addLayout(every);
    l->addLayout(grid);
    l->addStretch(1);
    return page;
}

QWidget* frmAddEditReminder::buildMonthlyPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageMonthly"_s);
    txtMonths = new UpDownEdit(u"txtMonths"_s, u"Repeat every month(s)"_s, page);
    auto* every = new QHBoxLayout;
    every->addWidget(new QLabel(u"Repeat every"_s, page));
    every->addWidget(txtMonths);
    every->addWidget(new QLabel(u"month(s)"_s, page));
    every->addStretch(1);
    auto* l = new QVBoxLayout(page);
    l->addLayout(every);
    l->addStretch(1);
    return page;
}

QWidget* frmAddEditReminder::buildYearlyPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageYearly"_s);
    auto* text = new QLabel(u"Remind me once a year on the same day and at the same time."_s, page);
    text->setObjectName(u"lblYearly"_s);
    text->setWordWrap(true);
    auto* l = new QVBoxLayout(page);
    l->addWidget(text);
    l->addStretch(1);
    return page;
}

QWidget* frmAddEditReminder::buildWhatGroup()
{
    auto* group = new QGroupBox(u"What to Remind"_s, this);
    txtContents = new QPlainTextEdit(group);
    txtContents->setObjectName(u"txtContents"_s);
    // Tab leaves the box instead of typing a tab, so the keyboard never gets stuck in it.
    txtContents->setTabChangesFocus(true);
    auto* l = new QVBoxLayout(group);
    l->addWidget(labelFor(u"Contents:"_s, txtContents, group));
    l->addWidget(txtContents, 1);
    return group;
}

QWidget* frmAddEditReminder::buildHowGroup()
{
    auto* group = new QGroupBox(u"How to Remind"_s, this);
    chkPopupWindow = new QCheckBox(u"Popup reminder window"_s, group);
    chkPopupWindow->setObjectName(u"chkPopupWindow"_s);
    txtReminderSoundFile = new QLineEdit(group);
    txtReminderSoundFile->setObjectName(u"txtReminderSoundFile"_s);
    cmdReminderSoundBrowse = new QPushButton(u"&Browse..."_s, group);
    cmdReminderSoundBrowse->setObjectName(u"cmdReminderSoundBrowse"_s);
    cboReminderGesture = new QComboBox(group);
    cboReminderGesture->setObjectName(u"cboReminderGesture"_s);

    auto* g = new QGridLayout(group);
    g->addWidget(chkPopupWindow, 0, 0, 1, 3);
    g->addWidget(labelFor(u"Play this sound file:"_s, txtReminderSoundFile, group), 1, 0);
    g->addWidget(txtReminderSoundFile, 1, 1);
    g->addWidget(cmdReminderSoundBrowse, 1, 2);
    g->addWidget(labelFor(u"Make this gesture:"_s, cboReminderGesture, group), 2, 0);
    g->addWidget(cboReminderGesture, 2, 1);
    g->setColumnStretch(1, 1);
    return group;
}

// ---------------------------------------------------------------------------
// Filling and handlers

void frmAddEditReminder::Init(CReminder* Reminder, const IAgent* character)
{
    m_reminder = Reminder;
    if (character) {
        FillGestureList(cboReminderGesture, *character);
    } else {
        cboReminderGesture->clear();
        cboReminderGesture->addItem(u"None"_s);
    }
    if (!Reminder) return;
    QString contents = Reminder->LoadContents();
    contents.replace(u"\r\n"_s, u"\n"_s);
    txtContents->setPlainText(contents);
    dtDate->setDate(Reminder->m_When.date());
    dtTime->setTime(Reminder->m_When.time());
    const int kind = Reminder->m_Recurs >= 0 && Reminder->m_Recurs < 5 ? Reminder->m_Recurs : 0;
    optRecur[size_t(kind)]->setChecked(true);
    optRecur_Click(kind);
    chkPopupWindow->setChecked(Reminder->m_Popup);
    cboIfLate->setCurrentIndex(Reminder->m_IfLate == 1 ? 1 : 0);
    const QString every = QString::number(Reminder->m_Every);
    switch (kind) {
    case CReminder::Daily:
        optEveryDaily[Reminder->m_EveryWeekDay ? 1 : 0]->setChecked(true);
        optEveryDaily_Click(Reminder->m_EveryWeekDay ? 1 : 0);
        txtEveryDaily->setText(every);
        break;
    case CReminder::Weekly: {
        txtEveryWeekly->setText(every);
        const QList<int> days = ParseWeekdays(Reminder->m_Days);
        for (int day : days)
            chkWeekly[size_t(day - 1)]->setChecked(true);
        break;
    }
    case CReminder::Monthly:
        txtMonths->setText(every);
        break;
    default:
        break;
    }
    txtReminderSoundFile->setText(Reminder->m_SoundFile);
    // A gesture the character no longer has shows as "None".
    const int gesture = cboReminderGesture->findText(Reminder->m_Gesture);
    cboReminderGesture->setCurrentIndex(gesture >= 0 ? gesture : 0);
    updateOkState();
}

void frmAddEditReminder::optRecur_Click(int Index)
{
    m_kind = Index;
    picRecur->setVisible(Index != 0);
    if (Index > 0) tabRecur->setCurrentIndex(Index - 1);
}

void frmAddEditReminder::optEveryDaily_Click(int Index)
{
    m_everyWeekDay = Index == 1;
}

void frmAddEditReminder::cmdNow_Click()
{
    const QDateTime now = platform::now();
    dtTime->setTime(now.time());
    dtDate->setDate(now.date());
}

void frmAddEditReminder::cmdReminderSoundBrowse_Click()
{
    if (m_speech) m_speech->BrowseWAV(txtReminderSoundFile, this);
}

void frmAddEditReminder::updateOkState()
{
    cmdOK->setEnabled(!txtContents->toPlainText().trimmed().isEmpty());
}

QString frmAddEditReminder::IntervalProblem(const QString& text)
{
    const std::optional<double> number = ParseNumber(text);
    if (!number)
        return u"You have entered a non numeric value: "_s + text +
               u". Please enter a value between 1 and 99."_s;
    const int n = WholeNumber(*number);
    if (n <= 0) return u"0 is not a valid value for the 'Repeat Every' field. Please enter at least 1."_s;
    if (n >= 100)
        return u"The maximum value for the 'Repeat Every' field is 99. Please enter a value between 1 and 99."_s;
    return {};
}

bool frmAddEditReminder::validInterval(UpDownEdit* box)
{
    const QString problem = IntervalProblem(box->text());
    if (problem.isEmpty()) return true;
    platform::Dialogs::inform(this, u"Invalid Data"_s, problem, QMessageBox::Information);
    box->edit->setFocus();
    box->edit->selectAll();
    return false;
}

void frmAddEditReminder::cmdOK_Click()
{
    if (!m_reminder || !cmdOK->isEnabled()) return;
    UpDownEdit* interval = m_kind == CReminder::Daily     ? txtEveryDaily
                           : m_kind == CReminder::Weekly  ? txtEveryWeekly
                           : m_kind == CReminder::Monthly ? txtMonths
                                                          : nullptr;
    if (interval && !validInterval(interval)) return;

    const QTime time = dtTime->time();
    const QDateTime due = LocalDateTime(dtDate->date(), QTime(time.hour(), time.minute()));
    const QDateTime now = platform::now();
    if (m_kind == CReminder::Never && due < now &&
        !platform::Dialogs::askYesNo(
            this, u"Confirm Date"_s,
            u"The date and time you specified are in the past. Are you sure you want to add this reminder?"_s))
        return;

    CReminder& r = *m_reminder;
    if (due > now || m_kind != r.m_Recurs) r.ClearSignaled();
    r.m_Recurs = m_kind;
    r.m_EveryWeekDay = m_everyWeekDay;
    r.m_Contents = txtContents->toPlainText().trimmed();
    r.m_IfLate = cboIfLate->currentIndex();
    r.m_When = due;
    r.m_Popup = chkPopupWindow->isChecked();
    r.m_Gesture = cboReminderGesture->currentText();
    r.m_SoundFile = txtReminderSoundFile->text();

    m_settings.m_ReminderGesture = r.m_Gesture;
    m_settings.m_ReminderSoundFile = r.m_SoundFile;
    m_settings.m_ReminderRecur = r.m_Recurs;

    const auto number = [](UpDownEdit* box) { return WholeNumber(ParseNumber(box->text()).value_or(1)); };
    switch (m_kind) {
    case CReminder::Daily:
        r.m_Every = number(txtEveryDaily);
        break;
    case CReminder::Weekly:
        r.m_Every = number(txtEveryWeekly);
        r.m_Days.clear();
        for (int i = 0; i < 7; ++i) {
            if (!chkWeekly[size_t(i)]->isChecked()) continue;
            if (!r.m_Days.isEmpty()) r.m_Days += u',';
            r.m_Days += QString::number(i + 1);
        }
        break;
    case CReminder::Monthly:
        r.m_Every = number(txtMonths);
        break;
    default: // never, yearly
        r.m_Every = 1;
        break;
    }
    m_OK = true;
    accept();
}

void frmAddEditReminder::cmdCancel_Click()
{
    m_OK = false;
    reject();
}

} // namespace orvella
