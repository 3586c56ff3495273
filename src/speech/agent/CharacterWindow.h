#pragma once

#include "speech/agent/CharacterFile.h"
#include "speech/agent/ShapedWindow.h"

#include <QCache>
#include <QImage>
#include <QPoint>
#include <QRegion>

namespace orvella {

// The character on the desktop: a frameless, translucent, always-on-top tool
// window that never takes the focus. It draws one frame of the character file
// (with the row's transform and the mouth of the moment) at any size, can be
// dragged, and reports right clicks and double clicks. Without a compositor
// it is cut to the figure of the frame it shows.
//
// Each picture is drawn from the vectors once and kept while it may come
// again (a few dozen at the usual sizes), so an animation that repeats only
// copies pictures to the screen: no vectors, no scaling, no threads. A row
// that shows what is already shown changes nothing on the screen.
class CharacterWindow : public ShapedWindow
{
    Q_OBJECT
public:
    CharacterWindow();
    ~CharacterWindow() override;

    // The file must outlive its use here; nullptr clears.
    void setCharacter(const CharacterFile* file);
    void showFrame(int frame, const CharacterFile::Row& row);
    void showFrame(int frame) { showFrame(frame, CharacterFile::Row()); }
    int currentFrame() const { return m_frame; }
    // While speaking, the index into the file's speaking mouths; -1 for the frame's own.
    void setSpeakingMouth(int level);
    int speakingMouth() const { return m_speakingMouth; }
    QString currentMouth() const;

    // The window as it would look on screen, transparent around the character.
    QImage snapshot();

Q_SIGNALS:
    void menuRequested(const QPoint& globalPos);
    void doubleClicked();
    // The window moved or changed size (a drag, MoveTo, a new size).
    void geometryChanged();
    // The user let go of the character after dragging it somewhere.
    void dragFinished();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;
    void moveEvent(QMoveEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void shapingChanged() override;

    void hideEvent(QHideEvent*) override;

private:
    // The window's whole content for one frame, mouth, row and size. Masked,
    // it is flattened (solid inside, clear outside) and has its outline.
    struct Picture
    {
        QImage image;
        QRegion region;
    };

    QString pictureKey() const;
    // Makes the current picture; false when it was in place already.
    bool updatePicture();
    // The same, and, masked, cuts the window to it.
    bool placePicture();
    void drawVectors(QPainter& p, qreal opacity) const;
    // The frame, mouth, size or shaping changed: the picture (and, masked,
    // the outline) follows.
    void refresh();

    const CharacterFile* m_file = nullptr;
    int m_frame = -1;
    CharacterFile::Row m_row;
    int m_speakingMouth = -1;
    QCache<QString, Picture> m_pictures; // by pictureKey(); cost in KiB
    QString m_pictureKey;                // the one shown
    Picture m_picture;
    QPoint m_pressPos;
    bool m_pressed = false;
    bool m_dragging = false;
};

} // namespace orvella
