#pragma once

#include <QList>
#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

namespace orvella {

// The animated, speaking character as the rest of the program sees it: one
// character loaded under an ID, its size and place, its balloon and menu, and a
// strict request queue. Show, Hide, Play, Speak, Think and MoveTo run one after
// another in call order; each completes when its animation, audio or balloon is
// done. A bookmark-only Speak ("\Mrk=n\") queued between two texts fires
// between them. StopAll drops everything queued, bookmarks included, and cuts
// the sound at once.
//
// Events arrive on the UI thread, in queue order. The real engine is
// speech/agent/AgentEngine; tests use a recording fake.
class IAgent : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~IAgent() override = default;

    // Causes passed with the Hide and Show events. A hide with CauseUserHid or
    // CauseUserHidViaMenu is the user's doing and ends a reading in progress.
    enum Cause {
        CauseNeverShown = 0,
        CauseUserHid = 1, // the character's own "Hide" command
        CauseUserShowed = 2,
        CauseProgramHid = 3,
        CauseProgramShowed = 4,
        CauseOtherProgramHid = 5,
        CauseOtherProgramShowed = 6,
        CauseUserHidViaMenu = 7,
    };

    // Balloon style bit: the speech balloon is on.
    static constexpr int BalloonOn = 1;

    // --- The characters collection -----------------------------------------
    // Loads the character file at path under id, replacing nothing: unload first.
    // False with loadError() telling why (missing file, damaged file).
    virtual bool Load(const QString& id, const QString& path) = 0;
    // Unloads id; unknown ids are ignored.
    virtual void Unload(const QString& id) = 0;
    virtual QString loadError() const = 0;
    virtual bool isLoaded() const = 0;

    // --- The loaded character ----------------------------------------------
    virtual void setLanguageID(int id) = 0;
    virtual QString Name() const = 0;
    virtual int OriginalWidth() const = 0;
    virtual int OriginalHeight() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void setWidth(int w) = 0;
    virtual void setHeight(int h) = 0;
    // Screen position of the character's top-left corner.
    virtual int Left() const = 0;
    virtual int Top() const = 0;
    virtual bool Visible() const = 0;
    // Queued: moves the character there (at once, no flight).
    virtual void MoveTo(int x, int y) = 0;
    // Areas of the screen the character and its balloon keep clear of (the
    // program's open dialogs): where its place would cover one, it stands
    // beside it instead, and goes back once the area is gone.
    virtual void setKeepClear(const QList<QRect>& areas) { Q_UNUSED(areas); }

    virtual int balloonStyle() const = 0;
    virtual void setBalloonStyle(int style) = 0;
    virtual void setBalloonFontName(const QString& name) = 0;
    virtual void setBalloonFontSize(int points) = 0;

    // The character's menu: the program's commands in the order added, then "Hide".
    virtual void AddCommand(const QString& name, const QString& caption) = 0;
    virtual void setCommandEnabled(const QString& name, bool enabled) = 0;
    virtual bool commandEnabled(const QString& name) const = 0;
    virtual QStringList commandNames() const = 0;

    // Animation names in the character file's order.
    virtual QStringList AnimationNames() const = 0;

    // --- Requests (queued) --------------------------------------------------
    virtual void Show(bool fast) = 0;
    virtual void Hide(bool fast) = 0;
    // False (and nothing queued) for a name the character lacks.
    virtual bool Play(const QString& animation) = 0;
    // Text with speech tags: \Pit=n\ \Spd=n\ \Chr="Normal|Monotone|Whisper"\ \Mrk=n\.
    virtual void Speak(const QString& text) = 0;
    // A sound file played as the character's speech.
    virtual void SpeakFile(const QString& path) = 0;
    // A thought balloon with the bare text; no voice.
    virtual void Think(const QString& text) = 0;
    // Empties the queue (bookmarks included) and cuts the current sound.
    virtual void StopAll() = 0;
    // Stops the current request; the queue goes on with the next.
    virtual void Stop() = 0;

Q_SIGNALS:
    void Bookmark(int bookmarkId);
    void Command(const QString& name);
    void DblClick();
    void HideEvent(int cause);
    void ShowEvent(int cause);
};

} // namespace orvella
