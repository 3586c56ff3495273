#pragma once

#include "core/speech/IAgent.h"

#include <QHash>
#include <QStringList>

namespace orvella::test {

// A recording character: every request is kept as one line ("Show(fast)",
// "Play(Greet)", "Speak(<text>)", ...), in call order. Queued requests stay
// pending until runQueue(), which plays them in order and fires the bookmark
// events the way the real engine does; StopAll drops what is pending.
class FakeAgent : public IAgent
{
    Q_OBJECT
public:
    explicit FakeAgent(QObject* parent = nullptr);

    QStringList calls;   // every call, in order
    QStringList pending; // queued requests not yet played
    QStringList animations = {
        QStringLiteral("Show"),    QStringLiteral("Hide"),         QStringLiteral("RestPose"),
        QStringLiteral("Greet"),   QStringLiteral("Wave"),         QStringLiteral("Read"),
        QStringLiteral("Reading"), QStringLiteral("Announce"),     QStringLiteral("Suggest"),
        QStringLiteral("Sad"),     QStringLiteral("GetAttention"), QStringLiteral("Thinking")};
    bool failLoad = false;
    QString loadedPath;
    int originalWidth = 128, originalHeight = 128;

    // Plays the pending requests in order; bookmark speeches fire their event.
    // Requests queued by event handlers meanwhile are played too.
    void runQueue();
    // The requests recorded since the last take, clearing them.
    QStringList takeCalls();

    bool Load(const QString& id, const QString& path) override;
    void Unload(const QString& id) override;
    QString loadError() const override { return m_loadError; }
    bool isLoaded() const override { return m_loaded; }
    void setLanguageID(int id) override;
    QString Name() const override { return QStringLiteral("Fake"); }
    int OriginalWidth() const override { return originalWidth; }
    int OriginalHeight() const override { return originalHeight; }
    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    void setWidth(int w) override;
    void setHeight(int h) override;
    int Left() const override { return m_left; }
    int Top() const override { return m_top; }
    bool Visible() const override { return m_visible; }
    void MoveTo(int x, int y) override;
    int balloonStyle() const override { return m_balloonStyle; }
    void setBalloonStyle(int style) override;
    void setBalloonFontName(const QString& name) override;
    void setBalloonFontSize(int points) override;
    void AddCommand(const QString& name, const QString& caption) override;
    void setCommandEnabled(const QString& name, bool enabled) override;
    bool commandEnabled(const QString& name) const override { return m_commands.value(name, false); }
    QStringList commandNames() const override { return m_commandOrder; }
    QStringList AnimationNames() const override { return animations; }
    void Show(bool fast) override;
    void Hide(bool fast) override;
    bool Play(const QString& animation) override;
    void Speak(const QString& text) override;
    void SpeakFile(const QString& path) override;
    void Think(const QString& text) override;
    void StopAll() override;
    void Stop() override;

    int m_balloonStyle = 0x200003; // arbitrary bits besides the balloon bit
    QString balloonFontName;
    int balloonFontSize = 0;

private:
    void record(const QString& call, bool queued);

    QString m_loadError;
    bool m_loaded = false;
    int m_width = 128, m_height = 128, m_left = 0, m_top = 0;
    bool m_visible = false;
    QHash<QString, bool> m_commands;
    QStringList m_commandOrder;
    bool m_running = false;
};

} // namespace orvella::test
