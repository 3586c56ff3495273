#pragma once

#include "speech/agent/ShapedWindow.h"

#include <QFont>
#include <QPainterPath>
#include <QRect>
#include <QString>
#include <QTimer>
#include <memory>

class QTextLayout;

namespace orvella {

// The character's balloon: a speech balloon that shows the words as they are
// spoken, or a thought balloon that shows a text page by page. It stands
// beside the character, points at its head and stays on the screen however
// close to an edge the character stands. Without a compositor it is cut to
// its outline, pointer and bubbles.
class BalloonWindow : public ShapedWindow
{
    Q_OBJECT
public:
    BalloonWindow();
    ~BalloonWindow() override;

    static constexpr int SpeechLines = 4;
    static constexpr int ThoughtLines = 5;

    void setBalloonFont(const QFont& font);
    const QFont& balloonFont() const { return m_font; }
    // The character's window, in screen coordinates: the balloon points at its head.
    void setAnchor(const QRect& character);

    // A speech balloon for text, with nothing shown yet.
    void startSpeech(const QString& text);
    // Shows the text up to (not including) index.
    void reveal(qsizetype upTo);
    qsizetype revealed() const { return m_revealed; }
    // A thought balloon, a page at a time; thoughtFinished when all were shown.
    void startThought(const QString& text);
    bool isThought() const { return m_thought; }
    int pageCount() const;
    int page() const { return m_page; }
    void close();

    // Where the tail points, on the screen; whether the balloon stands below the character.
    QPoint tipOnScreen() const { return geometry().topLeft() + m_tip.toPoint(); }
    bool isBelow() const { return m_below; }
    // Where the balloon, with its present text, would stand beside a
    // character at that place (empty when it has no text).
    QRect geometryFor(const QRect& character) const;
    // What is shown, for tests: the visible lines' text.
    QString visibleText() const;
    QImage snapshot();

Q_SIGNALS:
    void thoughtFinished();

protected:
    void paintEvent(QPaintEvent*) override;
    void shapingChanged() override;

private:
    struct Placement
    {
        QRect window; // on the screen
        QRectF body;  // in window coordinates
        QPointF tip;  // in window coordinates
        bool below = false;
    };
    Placement placementFor(const QRect& anchor) const;
    void layoutText();
    void place();
    void nextPage();
    int firstVisibleLine() const;
    int visibleLines() const;
    void paintBalloon(QPainter& p);
    // The body with its tail, or the cloud with its bubbles, in window coordinates.
    QPainterPath makeOutline() const;
    // Masked: cuts the window to the outline.
    void updateShape();

    QFont m_font;
    QString m_text;
    std::unique_ptr<QTextLayout> m_layout;
    QRect m_anchor;
    bool m_thought = false;
    bool m_below = false; // the balloon stands below the character's head
    QPointF m_tip;        // where the tail points, in window coordinates
    QRectF m_body;        // the balloon's body, in window coordinates
    qsizetype m_revealed = 0;
    int m_page = 0;
    QTimer m_pageTimer;
    QPainterPath m_outline;
    QString m_outlineKey; // the placement m_outline was made for
};

} // namespace orvella
