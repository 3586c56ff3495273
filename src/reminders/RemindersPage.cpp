#include "reminders/RemindersPage.h"

#include "platform/Dialogs.h"
#include "reminders/CRemindersSet.h"
#include "reminders/ReminderListModel.h"
#include "reminders/frmAddEditReminder.h"
#include "settings/CSettings.h"
#include "settings/ModOrvella.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, const QString& tip)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    b->setAccessibleDescription(tip);
    return b;
}
} // namespace

RemindersPage::RemindersPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(u"pageReminders"_s);
    m_model = new ReminderListModel(this);
    m_sorted = new QSortFilterProxyModel(this);
    m_sorted->setSourceModel(m_model);
    m_sorted->setDynamicSortFilter(true);

    lvReminders = new QTreeView(this);
    lvReminders->setObjectName(u"lvReminders"_s);
    lvReminders->setAccessibleName(u"Reminders"_s);
    lvReminders->setRootIsDecorated(false);
    lvReminders->setItemsExpandable(false);
    lvReminders->setUniformRowHeights(true);
    lvReminders->setSelectionMode(QAbstractItemView::SingleSelection);
    lvReminders->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SetFullRowSelect(lvReminders);
    lvReminders->setModel(m_sorted);
    lvReminders->setColumnHidden(ReminderListModel::ColSortedWhen, true);
    QHeaderView* header = lvReminders->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(false); // no order until the user picks one
    header->setStretchLastSection(false);
    lvReminders->installEventFilter(this);
    // The columns share the viewport's width, known once the viewport itself is resized.
    lvReminders->viewport()->installEventFilter(this);

    cmdAddReminder = makeButton(this, u"cmdAddReminder"_s, u"&Add"_s, u"Add new reminder"_s);
    cmdEditReminder = makeButton(this, u"cmdEditReminder"_s, u"Ed&it"_s, u"Edit reminder"_s);
    cmdReadReminder = makeButton(this, u"cmdReadReminder"_s, u"&Read"_s, u"Read reminder"_s);
    cmdEDReminder = makeButton(this, u"cmdEDReminder"_s, u"Disab&le"_s, u"Enable or disable the reminder"_s);
    cmdDeleteReminder = makeButton(this, u"cmdDeleteReminder"_s, u"&Delete"_s, u"Delete reminder"_s);
    chkEnableReminders = new QCheckBox(u"Enable re&minders"_s, this);
    chkEnableReminders->setObjectName(u"chkEnableReminders"_s);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b :
         {cmdAddReminder, cmdEditReminder, cmdReadReminder, cmdEDReminder, cmdDeleteReminder})
        buttons->addWidget(b);
    buttons->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(lvReminders, 1);
    row->addLayout(buttons);
    auto* l = new QVBoxLayout(this);
    l->addLayout(row, 1);
    l->addWidget(chkEnableReminders);

    const QList<QWidget*> order{lvReminders,   cmdAddReminder,    cmdEditReminder,   cmdReadReminder,
                                cmdEDReminder, cmdDeleteReminder, chkEnableReminders};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(header, &QHeaderView::sectionClicked, this, &RemindersPage::lvReminders_ColumnClick);
    connect(lvReminders->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RemindersPage::SetReminderUIState);
    connect(lvReminders->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &RemindersPage::selectCurrentEntry);
    // A double click edits the entry (Return too, below). Not "activated":
    // desktops set to open items with a single click would open the editor
    // on every click.
    connect(lvReminders, &QTreeView::doubleClicked, this, &RemindersPage::cmdEditReminder_Click);
    connect(cmdAddReminder, &QPushButton::clicked, this, &RemindersPage::cmdAddReminder_Click);
    connect(cmdEditReminder, &QPushButton::clicked, this, &RemindersPage::cmdEditReminder_Click);
    connect(cmdReadReminder, &QPushButton::clicked, this, &RemindersPage::cmdReadReminder_Click);
    connect(cmdEDReminder, &QPushButton::clicked, this, &RemindersPage::cmdEDReminder_Click);
    connect(cmdDeleteReminder, &QPushButton::clicked, this, &RemindersPage::cmdDeleteReminder_Click);
    // toggled, not clicked: a screen reader's toggle action changes the box
    // without a click. The program's own settings of the box block signals.
    connect(chkEnableReminders, &QCheckBox::toggled, this, &RemindersPage::chkEnableReminders_Click);

    SetReminderUIState();
}

RemindersPage::~RemindersPage() = default;

void RemindersPage::Attach(CRemindersSet& set, CSettings& settings, SpeechOutput* speech, const IAgent* agent)
{
    m_set = &set;
    m_settings = &settings;
    m_speech = speech;
    m_agent = agent;
    ApplySetting();
    LoadReminderList();
}

void RemindersPage::Detach()
{
    m_model->setReminderSet(nullptr);
    m_set = nullptr;
    m_settings = nullptr;
    m_speech = nullptr;
    m_agent = nullptr;
    SetReminderUIState();
}

void RemindersPage::ApplySetting()
{
    const QSignalBlocker blocker(chkEnableReminders);
    if (m_settings) chkEnableReminders->setChecked(m_settings->m_EnableReminders);
}

// ---------------------------------------------------------------------------
// The list

void RemindersPage::LoadReminderList()
{
    m_model->setReminderSet(m_set);
    // After a reset the header still counts the hidden column's old width in
    // its length, which shows a needless horizontal scroll bar; showing and
    // hiding the column again sets the length right.
    lvReminders->setColumnHidden(ReminderListModel::ColSortedWhen, false);
    lvReminders->setColumnHidden(ReminderListModel::ColSortedWhen, true);
    setColumnWidths();
    SetReminderUIState();
}

void RemindersPage::RefreshReminderList()
{
    m_model->refreshAll();
}

CReminder* RemindersPage::selectedReminder() const
{
    const QModelIndexList rows = lvReminders->selectionModel()->selectedRows();
    if (rows.isEmpty()) return nullptr;
    return m_model->reminderAt(m_sorted->mapToSource(rows.constFirst()).row());
}

void RemindersPage::SetReminderUIState()
{
    const CReminder* r = selectedReminder();
    for (QPushButton* b : {cmdReadReminder, cmdEDReminder, cmdEditReminder, cmdDeleteReminder})
        b->setEnabled(r != nullptr);
    if (r) cmdEDReminder->setText(r->m_Enabled ? u"Disab&le"_s : u"Enab&le"_s);
    cmdAddReminder->setEnabled(m_set != nullptr);
}

void RemindersPage::selectRow(int sourceRow)
{
    const QModelIndex index = m_sorted->mapFromSource(m_model->index(sourceRow, 0));
    if (!index.isValid()) return;
    lvReminders->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
    lvReminders->scrollTo(index);
}

void RemindersPage::lvReminders_ColumnClick(int column)
{
    const int sortColumn =
        column == ReminderListModel::ColWhen ? int(ReminderListModel::ColSortedWhen) : column;
    if (sortColumn != m_sortColumn) {
        m_sortColumn = sortColumn;
        m_sortOrder = Qt::AscendingOrder;
    } else {
        m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    }
    m_sorted->sort(m_sortColumn, m_sortOrder);
    lvReminders->header()->setSortIndicatorShown(true);
    lvReminders->header()->setSortIndicator(column, m_sortOrder);
}

void RemindersPage::setColumnWidths()
{
    const double W = lvReminders->viewport()->width();
    QHeaderView* header = lvReminders->header();
    header->resizeSection(ReminderListModel::ColReminder, int(std::nearbyint(W * 0.3)));
    header->resizeSection(ReminderListModel::ColWhen, int(std::nearbyint(W * 0.5)));
    header->resizeSection(ReminderListModel::ColEnabled, std::max(0, int(std::nearbyint(W * 0.2 - 4))));
}

bool RemindersPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lvReminders->viewport() && event->type() == QEvent::Resize) setColumnWidths();
    // The view makes its first entry current as it takes the focus, after
    // this filter has seen the event.
    if (watched == lvReminders && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, this, &RemindersPage::selectCurrentEntry);
    if (watched == lvReminders && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && selectedReminder()) {
            cmdEditReminder_Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void RemindersPage::selectCurrentEntry()
{
    // The entry that has the keyboard focus is the selected one, so a user
    // who tabs into the list can act on the entry the screen reader just read.
    const QModelIndex current = lvReminders->currentIndex();
    if (current.isValid() && !lvReminders->selectionModel()->hasSelection())
        lvReminders->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
}

// ---------------------------------------------------------------------------
// Commands

void RemindersPage::chkEnableReminders_Click(bool checked)
{
    if (m_settings) m_settings->m_EnableReminders = checked;
    Q_EMIT enableRemindersClicked(checked);
}

bool RemindersPage::runEditor(CReminder& reminder, const QString& caption)
{
    if (ModalDialogShown) ModalDialogShown(true);
    frmAddEditReminder dlg(*m_settings, m_speech, this);
    if (!caption.isEmpty()) dlg.setWindowTitle(caption);
    dlg.Init(&reminder, m_agent);
    dlg.exec();
    if (ModalDialogShown) ModalDialogShown(false);
    return dlg.m_OK;
}

void RemindersPage::saveOrTell(CReminder& reminder, bool includeContents)
{
    if (reminder.Save(includeContents)) return;
    if (ModalDialogShown) ModalDialogShown(true);
    platform::Dialogs::inform(this, u"Orvella"_s,
                              u"The reminder could not be saved in the folder "_s + m_set->folder() +
                                  u". It stays in the list until Orvella ends; please make sure the folder "
                                  u"can be written to."_s,
                              QMessageBox::Warning);
    if (ModalDialogShown) ModalDialogShown(false);
}

void RemindersPage::cmdAddReminder_Click()
{
    if (!m_set || !m_settings) return;
    auto reminder = std::make_unique<CReminder>();
    reminder->SetCurrentRoundedHour();
    reminder->m_SoundFile = m_settings->m_ReminderSoundFile;
    reminder->m_Gesture = m_settings->m_ReminderGesture;
    reminder->m_Recurs = m_settings->m_ReminderRecur;
    if (!runEditor(*reminder, QString())) return; // nothing was written, so nothing is left behind
    saveOrTell(*reminder, true);
    const int row = m_model->addReminder(std::move(reminder));
    if (row >= 0) selectRow(row);
    SetReminderUIState();
}

void RemindersPage::cmdEditReminder_Click()
{
    CReminder* r = selectedReminder();
    if (!r || !m_settings) return;
    if (!runEditor(*r, u"Edit Orvella Reminder"_s)) return;
    saveOrTell(*r, true);
    m_model->reminderChanged(r->m_UniqueID);
    SetReminderUIState();
}

void RemindersPage::cmdEDReminder_Click()
{
    CReminder* r = selectedReminder();
    if (!r) return;
    r->m_Enabled = !r->m_Enabled;
    saveOrTell(*r, false);
    m_model->reminderChanged(r->m_UniqueID);
    SetReminderUIState();
}

void RemindersPage::cmdReadReminder_Click()
{
    if (CReminder* r = selectedReminder()) r->Say(m_speech);
}

void RemindersPage::cmdDeleteReminder_Click()
{
    const QModelIndexList rows = lvReminders->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    const int position = rows.constFirst().row();
    const QString id = rows.constFirst().data(ReminderListModel::IdRole).toString();
    m_model->deleteReminder(id);
    const int count = m_sorted->rowCount();
    if (count > 0) {
        const QModelIndex next = m_sorted->index(std::min(position, count - 1), 0);
        lvReminders->selectionModel()->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
    }
    SetReminderUIState();
}

} // namespace orvella
