#pragma once

#include <QLabel>

namespace orvella {

// A one-line label whose text never sets the width of its window: a text
// longer than the room it has is shown cut with "…", and the whole text is
// its tooltip (screen readers get it through the accessible name, which the
// owner sets). A plain QLabel asks for its whole text's width, so one long
// status text made the main window wider than the screen, or was cut off at
// the window's edge without a sign.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void elide();

    QString m_fullText;
};

} // namespace orvella
