#pragma once

#include <QLabel>

namespace orvella {

// A one-line label whose text never sizes its window: it asks for no more
// width than a few characters and, where the text does not fit, shows its
// beginning with "…". The whole text stays the label's text and its tooltip,
// so a pointer or a screen reader still gets all of it. A subject of a few
// hundred characters must not push the main window past the screen's edge.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // Hides QLabel::setText, which is not virtual: set the text through this
    // class so the tooltip follows.
    void setText(const QString& text);
    // The text as it shows in the present width.
    QString shownText() const;
    bool elided() const { return shownText() != text(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
};

} // namespace orvella
