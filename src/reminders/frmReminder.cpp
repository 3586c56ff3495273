#include "reminders/frmReminder.h"

#include "platform/Clock.h"
#include "platform/WindowGroup.h"
#include "speech/SpeechOutput.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStringListModel>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

frmReminder::frmReminder(SpeechOutput* speech, QWidget* parent) : QDialog(parent), m_speech(speech)
{
    setObjectName(u"frmReminder"_s);
    setWindowTitle(u"Reminder!"_s);
    setWindowIcon(QIcon(u":/icons/reminder-enabled.svg"_s));
    // Above every other window from the start, so it is never buried under
    // the window the user is working in.
    setWindowFlag(Qt::WindowStaysOnTopHint);

    lblReminder = new QLabel(u"Reminder"_s, this);
    lblReminder->setObjectName(u"lblReminder"_s);
    QFont bold = lblReminder->font();
    bold.setBold(true);
    lblReminder->setFont(bold);
    lblWhen = new QLabel(WhenText(platform::now(), QLocale()), this);
    lblWhen->setObjectName(u"lblWhen"_s);
    lblWhen->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);

    txtReminder = new QPlainTextEdit(this);
    txtReminder->setObjectName(u"txtReminder"_s);
    txtReminder->setReadOnly(true);
    // Keyboard users move on with Tab; read-only text keeps a caret to read by.
    txtReminder->setTabChangesFocus(true);
    txtReminder->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    txtReminder->setAccessibleName(u"Reminder"_s);
    txtReminder->setAccessibleDescription(lblWhen->text());
    lblReminder->setBuddy(txtReminder);

    cmdDismiss = new QPushButton(u"&Close"_s, this);
    cmdDismiss->setObjectName(u"cmdDismiss"_s);
    cmdDismiss->setDefault(true);
    cmdStopTalking = new QPushButton(u"&Stop Talking"_s, this);
    cmdStopTalking->setObjectName(u"cmdStopTalking"_s);
    cmdDismissAndStop = new QPushButton(u"Close &and Stop Talking"_s, this);
    cmdDismissAndStop->setObjectName(u"cmdDismissAndStop"_s);

    auto* top = new QHBoxLayout;
    top->addWidget(lblReminder);
    top->addStretch(1);
    top->addWidget(lblWhen);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdDismiss);
    buttons->addWidget(cmdStopTalking);
    buttons->addWidget(cmdDismissAndStop);
    auto* l = new QVBoxLayout(this);
    l->addLayout(top);
    l->addWidget(txtReminder, 1);
    l->addLayout(buttons);
    resize(460, 240);

    setTabOrder(txtReminder, cmdDismiss);
    setTabOrder(cmdDismiss, cmdStopTalking);
    setTabOrder(cmdStopTalking, cmdDismissAndStop);

    connect(cmdDismiss, &QPushButton::clicked, this, &frmReminder::cmdDismiss_Click);
    connect(cmdStopTalking, &QPushButton::clicked, this, &frmReminder::cmdStopTalking_Click);
    connect(cmdDismissAndStop, &QPushButton::clicked, this, &frmReminder::cmdDismissAndStop_Click);
}

QString frmReminder::WhenText(const QDateTime& moment, const QLocale& locale)
{
    return locale.toString(moment.time(), u"hh:mm AP"_s) + u",  "_s +
           locale.toString(moment.date(), QLocale::LongFormat);
}

void frmReminder::setReminderText(const QString& text)
{
    QString shown = text;
    shown.replace(u"\r\n"_s, u"\n"_s);
    txtReminder->setPlainText(shown);
}

void frmReminder::setReminderList(const QString& heading, const QStringList& lines)
{
    if (!lstReminders) {
        lstReminders = new QListView(this);
        lstReminders->setObjectName(u"lstReminders"_s);
        // A model of plain strings: one alert may list thousands of reminders.
        lstReminders->setModel(new QStringListModel(lstReminders));
        lstReminders->setEditTriggers(QAbstractItemView::NoEditTriggers);
        lstReminders->setUniformItemSizes(true);
        auto* l = static_cast<QVBoxLayout*>(layout());
        l->insertWidget(l->indexOf(txtReminder), lstReminders, 1);
        setTabOrder(lstReminders, cmdDismiss);
    }
    static_cast<QStringListModel*>(lstReminders->model())->setStringList(lines);
    lstReminders->setCurrentIndex(lstReminders->model()->index(0, 0));
    lstReminders->setAccessibleName(heading);
    lstReminders->setAccessibleDescription(lblWhen->text());
    lblReminder->setText(heading);
    lblReminder->setBuddy(lstReminders);
    txtReminder->hide();
    lstReminders->show();
}

void frmReminder::cmdDismiss_Click()
{
    close();
}

void frmReminder::cmdStopTalking_Click()
{
    if (m_speech) m_speech->StopAgent();
}

void frmReminder::cmdDismissAndStop_Click()
{
    cmdStopTalking_Click();
    cmdDismiss_Click();
}

frmReminder* frmReminder::OpenList(SpeechOutput* speech, const QString& heading, const QStringList& lines)
{
    auto* w = new frmReminder(speech);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setReminderList(heading, lines);
    ShowAmongAlerts(w, w->lstReminders);
    return w;
}

void frmReminder::showEvent(QShowEvent* e)
{
    // Stacked as any window that stays on top, not held above every window
    // of the program by the window manager's rules for a program's groups.
    platform::leaveWindowGroup(this);
    QDialog::showEvent(e);
}

QPoint frmReminder::PlaceAmongAlerts(const QList<QRect>& open, const QSize& size, const QRect& area, int step)
{
    if (open.isEmpty())
        return {area.left() + (area.width() - size.width()) / 2,
                area.top() + (area.height() - size.height()) / 2};
    // Down and to the right of the newest, so its title and text stay in
    // view; back to the area's top left, a step further in each round, where
    // the screen ends.
    QPoint at = open.last().topLeft() + QPoint(step, step);
    const bool fits =
        at.x() + size.width() <= area.right() + 1 && at.y() + size.height() <= area.bottom() + 1;
    if (!fits) {
        const int round = int(open.size()) % std::max(1, area.height() / (2 * step));
        at = area.topLeft() + QPoint(step * round, step * round / 2);
    }
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    return at;
}

frmReminder* frmReminder::Open(SpeechOutput* speech, const QString& text)
{
    // A window of its own, not owned by another window: the reminder that
    // opened it closes it when it opens the next one or goes away.
    auto* w = new frmReminder(speech);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setReminderText(text);
    ShowAmongAlerts(w, w->txtReminder);
    return w;
}

void frmReminder::ShowAmongAlerts(frmReminder* w, QWidget* focus)
{
    // Every alert opened at the same spot once, the newest hidden under the
    // older ones: each opens a step down and right of the last still open.
    static QList<QPointer<frmReminder>> opened;
    opened.removeAll(nullptr);
    QList<QRect> open;
    for (const QPointer<frmReminder>& a : std::as_const(opened))
        if (a->isVisible()) open << a->frameGeometry();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int step = std::max(24, w->fontMetrics().height() * 2);
    w->move(PlaceAmongAlerts(open, w->frameGeometry().size(), area, step));
    opened << w;
    w->show();
    w->raise();
    // Shown, a window that is not modal waits for the window manager to give
    // it the keyboard, which may never happen; a screen reader only announces
    // the window that has it. The desktop's focus rules still have the last word.
    w->activateWindow();
    focus->setFocus();
}

} // namespace orvella
