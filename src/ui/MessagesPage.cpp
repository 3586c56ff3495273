#include "ui/MessagesPage.h"

#include "message/MessageListModel.h"
#include "ui/ElidedLabel.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// "Time Stamp" sorts by the stored stamp, not by the date text shown.
class MessageSortModel : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override
    {
        if (left.column() == MessageListModel::StampColumn)
            return left.data(MessageListModel::StampRole).toString() <
                   right.data(MessageListModel::StampRole).toString();
        return QString::localeAwareCompare(left.data().toString(), right.data().toString()) < 0;
    }
};

QPushButton* makeButton(QWidget* parent, QBoxLayout* layout, const QString& name, const QString& caption,
                        const QString& tip)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    layout->addWidget(b);
    return b;
}

} // namespace

MessagesPage::MessagesPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(u"FrameMain"_s);
    buildPanel();

    lblAllMessagesTitle = new QLabel(u"All Messages"_s, this);
    lblAllMessagesTitle->setObjectName(u"lblAllMessagesTitle"_s);

    splitMessages = new QSplitter(Qt::Vertical, this);
    splitMessages->setObjectName(u"picSplitter"_s);
    splitMessages->setChildrenCollapsible(false);
    lstMessages = new QTreeView(splitMessages);
    lstMessages->setObjectName(u"lstMessages"_s);
    lstMessages->setAccessibleName(u"All Messages"_s);
    lstMessages->setRootIsDecorated(false);
    lstMessages->setUniformRowHeights(true);
    lstMessages->setAllColumnsShowFocus(true);
    lstMessages->setSelectionMode(QAbstractItemView::SingleSelection);
    lstMessages->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstMessages->setContextMenuPolicy(Qt::CustomContextMenu);
    lstMessages->header()->setStretchLastSection(false);
    lstMessages->viewport()->setAcceptDrops(true);
    lstMessages->viewport()->installEventFilter(this);
    lstMessages->installEventFilter(this);
    txtMessage = new QPlainTextEdit(splitMessages);
    txtMessage->setObjectName(u"txtMessage"_s);
    txtMessage->setAccessibleName(u"Message preview"_s);
    txtMessage->setReadOnly(true);
    // "Courier New" where it is installed; the system's fixed font otherwise.
    QFont font(u"Courier New"_s);
    font.setStyleHint(QFont::TypeWriter);
    if (!QFontDatabase::hasFamily(font.family()))
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    txtMessage->setFont(font);
    splitMessages->setStretchFactor(0, 3);
    splitMessages->setStretchFactor(1, 2);

    auto* column = new QVBoxLayout;
    cmdTellMe = makeButton(this, column, u"cmdTellMe"_s, u"&Read"_s, u"Read selected message"_s);
    cmdViewIt = makeButton(this, column, u"cmdViewIt"_s, u"V&iew"_s, u"View selected message"_s);
    cmdAddRule =
        makeButton(this, column, u"cmdAddRule"_s, u"Add R&ule"_s, u"Add rule for selected message"_s);
    cmdRemove = makeButton(this, column, u"cmdRemove"_s, u"Re&move"_s, u"Remove selected message"_s);
    cmdClear = makeButton(this, column, u"cmdClear"_s, u"Remove &All"_s, u"Remove all messages"_s);
    column->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(lblNewMessagesTitle, 0, 0, 1, 2);
    grid->addWidget(picNewMessages, 1, 0, 1, 2);
    grid->addWidget(lblAllMessagesTitle, 2, 0, 1, 2);
    grid->addWidget(splitMessages, 3, 0);
    grid->addLayout(column, 3, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 1);

    // The list first, then its commands, then the preview: the order of use.
    setTabOrder(lstMessages, cmdTellMe);
    setTabOrder(cmdTellMe, cmdViewIt);
    setTabOrder(cmdViewIt, cmdAddRule);
    setTabOrder(cmdAddRule, cmdRemove);
    setTabOrder(cmdRemove, cmdClear);
    setTabOrder(cmdClear, txtMessage);

    connect(lstMessages, &QTreeView::doubleClicked, this, &MessagesPage::entryActivated);
    connect(lstMessages, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = lstMessages->indexAt(pos);
        if (!index.isValid())
            return; // over empty space nothing happens
        lstMessages->setCurrentIndex(index);
        Q_EMIT contextMenuRequested(lstMessages->viewport()->mapToGlobal(pos));
    });
    // The user's drag decides where the split stays, whatever the window's size does later.
    connect(splitMessages, &QSplitter::splitterMoved, this,
            [this] { m_wantedSplitTop = splitMessages->y() + splitMessages->sizes().value(0); });
}

void MessagesPage::buildPanel()
{
    lblNewMessagesTitle = new QLabel(u"New Message Panel"_s, this);
    lblNewMessagesTitle->setObjectName(u"lblNewMessagesTitle"_s);
    picNewMessages = new QFrame(this);
    picNewMessages->setObjectName(u"picNewMessages"_s);
    static_cast<QFrame*>(picNewMessages)->setFrameShape(QFrame::StyledPanel);
    picNewMessages->setAccessibleName(u"New Message Panel"_s);
    auto* panel = new QGridLayout(picNewMessages);
    lblFromTitle = new QLabel(u"From:"_s, picNewMessages);
    // Sender and subject come from the message: however long, they never
    // widen the window (the whole text is in the tooltip and the accessible name).
    lblFrom = new ElidedLabel(picNewMessages);
    lblFrom->setObjectName(u"lblFrom"_s);
    lblSubjectTitle = new QLabel(u"Subject:"_s, picNewMessages);
    lblSubject = new ElidedLabel(picNewMessages);
    lblSubject->setObjectName(u"lblSubject"_s);
    lblNewMessages = new QLabel(picNewMessages);
    lblNewMessages->setObjectName(u"lblNewMessages"_s);
    lblMessageNo = new QLabel(picNewMessages);
    lblMessageNo->setObjectName(u"lblMessageNo"_s);
    lblMessageNo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    for (QLabel* l : std::initializer_list<QLabel*>{lblFrom, lblSubject, lblMessageNo}) {
        QSizePolicy p = l->sizePolicy();
        p.setRetainSizeWhenHidden(true); // the panel keeps its shape while nothing is read
        l->setSizePolicy(p);
    }
    auto makeImageButton = [&](const QString& name, QStyle::StandardPixmap icon, const QString& tip) {
        auto* b = new QToolButton(picNewMessages);
        b->setObjectName(name);
        b->setIcon(style()->standardIcon(icon));
        b->setToolTip(tip);
        b->setAccessibleName(tip);
        b->setAutoRaise(true);
        b->setEnabled(false);
        return b;
    };
    cmdPrev = makeImageButton(u"cmdPrev"_s, QStyle::SP_MediaSkipBackward, u"Previous Message"_s);
    cmdReplay = makeImageButton(u"cmdReplay"_s, QStyle::SP_BrowserReload, u"Replay Message"_s);
    cmdNext = makeImageButton(u"cmdNext"_s, QStyle::SP_MediaSkipForward, u"Next Message"_s);
    panel->addWidget(lblNewMessages, 0, 0, 1, 2);
    panel->addWidget(lblMessageNo, 0, 2);
    panel->addWidget(cmdPrev, 0, 3);
    panel->addWidget(cmdReplay, 0, 4);
    panel->addWidget(cmdNext, 0, 5);
    panel->addWidget(lblFromTitle, 1, 0);
    panel->addWidget(lblFrom, 1, 1, 1, 5);
    panel->addWidget(lblSubjectTitle, 2, 0);
    panel->addWidget(lblSubject, 2, 1, 1, 5);
    panel->setColumnStretch(1, 1);
    showPanel(MessageReader::Panel());
}

void MessagesPage::setModel(MessageListModel* model)
{
    m_model = model;
    if (!m_proxy) {
        m_proxy = new MessageSortModel(this);
        lstMessages->setModel(m_proxy);
        connect(lstMessages->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &MessagesPage::selectionChanged);
        // The store's order (newest first) until the user sorts by a column.
        lstMessages->header()->setSortIndicator(-1, Qt::AscendingOrder);
        lstMessages->setSortingEnabled(true);
    }
    m_proxy->setSourceModel(model);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &MessagesPage::selectionChanged);
    connect(m_proxy, &QAbstractItemModel::rowsRemoved, this, &MessagesPage::selectionChanged);
    lstMessages->header()->setSectionResizeMode(QHeaderView::Interactive);
    lstMessages->resizeColumnToContents(MessageListModel::StampColumn);
    setColumnWidths();
}

int MessagesPage::rowCount() const
{
    return m_model ? m_model->rowCount() : 0;
}

int MessagesPage::selectedRow() const
{
    if (!m_proxy)
        return -1;
    const QModelIndexList rows = lstMessages->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : m_proxy->mapToSource(rows.first()).row();
}

void MessagesPage::selectRow(int modelRow)
{
    if (!m_proxy || !m_model || modelRow < 0 || modelRow >= m_model->rowCount()) {
        if (lstMessages->selectionModel())
            lstMessages->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(modelRow, 0));
    lstMessages->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    lstMessages->scrollTo(index);
}

int MessagesPage::selectedViewRow() const
{
    if (!m_proxy) return -1;
    const QModelIndexList rows = lstMessages->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void MessagesPage::selectViewRow(int viewRow)
{
    if (!m_proxy || viewRow < 0 || viewRow >= m_proxy->rowCount()) {
        if (lstMessages->selectionModel()) lstMessages->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = m_proxy->index(viewRow, 0);
    lstMessages->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
    lstMessages->scrollTo(index);
}

void MessagesPage::showPanel(const MessageReader::Panel& p)
{
    lblNewMessages->setText(p.newMessages);
    QFont f = lblNewMessages->font();
    f.setBold(p.haveNewMessages);
    lblNewMessages->setFont(f);
    // Greyed while waiting, in whatever colours the desktop's style uses.
    lblNewMessages->setForegroundRole(p.haveNewMessages ? QPalette::WindowText : QPalette::PlaceholderText);
    lblMessageNo->setText(p.messageNo);
    lblFrom->setText(p.from);
    lblSubject->setText(p.subject);
    for (QLabel* l : std::initializer_list<QLabel*>{lblFrom, lblSubject, lblMessageNo})
        l->setVisible(p.detailsShown);
    lblFrom->setAccessibleName(u"From: "_s + p.from);
    lblSubject->setAccessibleName(u"Subject: "_s + p.subject);
    lblMessageNo->setAccessibleName(u"Message number "_s + p.messageNo);
    cmdPrev->setEnabled(p.prevEnabled);
    cmdReplay->setEnabled(p.replayEnabled);
    cmdNext->setEnabled(p.nextEnabled);
}

void MessagesPage::setPreview(const QString& text)
{
    QString s = text;
    s.replace(u"\r\n"_s, u"\n"_s);
    s.replace(u'\r', u'\n');
    txtMessage->setPlainText(s);
}

void MessagesPage::applyPanelVisibility(bool newMessagePanel, bool preview)
{
    // Hidden, the preview's split is remembered; shown again, it comes back there.
    if (!preview && txtMessage->isVisible() && isVisible())
        m_wantedSplitTop = splitTop();
    picNewMessages->setVisible(newMessagePanel);
    lblNewMessagesTitle->setVisible(newMessagePanel);
    txtMessage->setVisible(preview);
    // Once the preview has its place: its limits too, which a page that
    // showed without the preview never set.
    if (preview)
        QMetaObject::invokeMethod(
            this,
            [this] {
                applySplitLimits();
                applySplitTop();
            },
            Qt::QueuedConnection);
}

int MessagesPage::twips(int value) const
{
    const double dpi = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    return qRound(value * dpi / 1440.0);
}

// The split may go up to 50 twips below the button column's last button and
// down to 400 twips above the page's bottom.
int MessagesPage::minimumSplitTop() const
{
    return cmdClear->geometry().bottom() + 1 + twips(50);
}

int MessagesPage::maximumSplitTop() const
{
    return std::max(minimumSplitTop(), height() - twips(400));
}

int MessagesPage::splitTop() const
{
    if (!isVisible() || !txtMessage->isVisible())
        return m_wantedSplitTop; // -1 when the split was never placed
    return splitMessages->y() + splitMessages->sizes().value(0);
}

void MessagesPage::setSplitTop(int top)
{
    m_wantedSplitTop = top;
    applySplitTop();
}

// The split stays at its top while the window's size changes (the preview
// takes what is left), within the limits of the page's present size.
void MessagesPage::applySplitTop()
{
    if (m_wantedSplitTop < 0 || !isVisible() || splitMessages->height() <= 0 || !txtMessage->isVisible())
        return;
    const int top = std::clamp(m_wantedSplitTop, minimumSplitTop(), maximumSplitTop());
    const int listHeight = std::max(1, top - splitMessages->y());
    const int total = splitMessages->height() - splitMessages->handleWidth();
    splitMessages->setSizes({listHeight, std::max(1, total - listHeight)});
}

void MessagesPage::applySplitLimits()
{
    if (!txtMessage->isVisible())
        return;
    lstMessages->setMinimumHeight(std::max(0, minimumSplitTop() - splitMessages->y()));
    const int previewMin = splitMessages->y() + splitMessages->height() - maximumSplitTop() -
                           splitMessages->handleWidth();
    txtMessage->setMinimumHeight(std::max(twips(400) / 2, previewMin));
}

void MessagesPage::setColumnWidths()
{
    // Subject 65 % of the list's width, From the rest; the time stamp lies
    // to the right, reached by scrolling.
    const int w = lstMessages->viewport()->width();
    if (w <= 0)
        return;
    const int subject = int(std::nearbyint(w * 0.65)); // halves to even
    lstMessages->setColumnWidth(MessageListModel::SubjectColumn, subject);
    lstMessages->setColumnWidth(MessageListModel::FromColumn, std::max(1, w - subject - 4));
}

void MessagesPage::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    applySplitLimits();
    applySplitTop();
    setColumnWidths();
}

void MessagesPage::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    applySplitLimits();
    applySplitTop();
    setColumnWidths();
}

bool MessagesPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lstMessages->viewport()) {
        switch (event->type()) {
        case QEvent::Resize:
            setColumnWidths();
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* d = static_cast<QDragMoveEvent*>(event);
            if (d->mimeData()->hasText()) {
                d->acceptProposedAction();
                return true;
            }
            break;
        }
        case QEvent::Drop: {
            auto* d = static_cast<QDropEvent*>(event);
            if (d->mimeData()->hasText()) {
                d->acceptProposedAction();
                Q_EMIT textDropped(d->mimeData()->text());
                return true;
            }
            break;
        }
        default:
            break;
        }
    } else if (watched == lstMessages && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && selectedRow() >= 0) {
            Q_EMIT entryActivated();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace orvella
