#pragma once

#include "speech/MessageReader.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSortFilterProxyModel;
class QSplitter;
class QToolButton;
class QTreeView;

namespace orvella {

class ElidedLabel;
class MessageListModel;

// The main window's " Messa&ges" page: the New Message panel, the list of
// stored messages over the store's model, the preview under a draggable
// split, and the column of message buttons beside the list.
class MessagesPage : public QWidget
{
    Q_OBJECT
public:
    explicit MessagesPage(QWidget* parent = nullptr);

    void setModel(MessageListModel* model);
    // The model row of the selected entry, -1 when none is selected.
    int selectedRow() const;
    void selectRow(int modelRow);
    // The same by the row on screen, in the order the list is sorted in.
    int selectedViewRow() const;
    void selectViewRow(int viewRow);
    int rowCount() const;

    void showPanel(const MessageReader::Panel& panel);
    void setPreview(const QString& text);
    void applyPanelVisibility(bool newMessagePanel, bool preview);

    // The top of the split between list and preview, in pixels from the
    // page's top (-1 when it was never placed); setSplitTop keeps it within
    // the limits and applies it once the page has its size.
    int splitTop() const;
    void setSplitTop(int top);
    // The smallest and largest top the split may take now.
    int minimumSplitTop() const;
    int maximumSplitTop() const;

    QLabel* lblNewMessagesTitle = nullptr;
    QWidget* picNewMessages = nullptr;
    QLabel* lblNewMessages = nullptr;
    QLabel* lblMessageNo = nullptr;
    QLabel* lblFromTitle = nullptr;
    ElidedLabel* lblFrom = nullptr;
    QLabel* lblSubjectTitle = nullptr;
    ElidedLabel* lblSubject = nullptr;
    QToolButton* cmdPrev = nullptr;
    QToolButton* cmdReplay = nullptr;
    QToolButton* cmdNext = nullptr;
    QLabel* lblAllMessagesTitle = nullptr;
    QSplitter* splitMessages = nullptr;
    QTreeView* lstMessages = nullptr;
    QPlainTextEdit* txtMessage = nullptr;
    QPushButton* cmdTellMe = nullptr;
    QPushButton* cmdViewIt = nullptr;
    QPushButton* cmdAddRule = nullptr;
    QPushButton* cmdRemove = nullptr;
    QPushButton* cmdClear = nullptr;

Q_SIGNALS:
    void selectionChanged();
    // A double click or Return on an entry.
    void entryActivated();
    // The right button over an entry (now selected), at a global position.
    void contextMenuRequested(const QPoint& globalPos);
    void textDropped(const QString& text);

protected:
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPanel();
    void setColumnWidths();
    void applySplitLimits();
    void applySplitTop();
    int twips(int value) const; // twips as pixels on this screen

    MessageListModel* m_model = nullptr;
    QSortFilterProxyModel* m_proxy = nullptr;
    int m_wantedSplitTop = -1; // where the split stays; -1: where the layout puts it
};

} // namespace orvella
