#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace orvella {

// A character file (".acs"): our own text format, described in
// docs/character-format.md. Parsing never throws and never trusts the file: a
// damaged file gives false and error() says where and why.
class CharacterFile
{
public:
    struct Frame
    {
        QString name;
        QByteArray body;        // SVG elements drawn in the character's own units
        QString mouth;          // shape drawn at "#mouth" when not speaking; empty: none
        bool usesMouth = false; // the frame draws "#mouth", so speech can move it
    };
    struct Row
    {
        int frame = 0;
        int ms = 100;
        double scale = 1.0; // about the bottom centre
        double opacity = 1.0;
        double dx = 0.0; // in the character's units
        double dy = 0.0;
        double rotate = 0.0; // degrees, about the bottom centre
        bool plain() const
        {
            return scale == 1.0 && opacity == 1.0 && dx == 0.0 && dy == 0.0 && rotate == 0.0;
        }
    };
    struct Animation
    {
        QString name;
        bool loop = false;
        QList<Row> rows;
        int durationMs() const;
    };

    static constexpr qint64 MaxFileBytes = 8 * 1024 * 1024;

    bool load(const QString& path);
    bool parse(const QByteArray& data, const QString& fileName = QString());
    const QString& error() const { return m_error; }

    const QString& name() const { return m_name; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    const QList<Frame>& frames() const { return m_frames; }
    const QList<Animation>& animations() const { return m_animations; }
    QStringList animationNames() const;
    // Case-insensitive, as character animation names are; -1 when missing.
    int findAnimation(const QString& name) const;
    int findFrame(const QString& name) const { return m_frameIndex.value(name, -1); }
    QStringList mouthNames() const { return m_mouthOrder; }
    bool hasMouth(const QString& name) const { return m_mouths.contains(name); }
    // The shapes used while speaking, from closed to widest.
    const QStringList& speakingMouths() const { return m_speakingMouths; }
    // The frame the character rests on: the first frame of "RestPose", else the first frame.
    int restFrame() const;

    // A complete SVG document for a frame with the given mouth shape (empty: none).
    QByteArray frameDocument(int frame, const QString& mouth) const;

private:
    bool fail(int line, const QString& message);
    bool checkSvg(const QByteArray& body, int line, const QString& what);

    QString m_fileName;
    QString m_error;
    QString m_name;
    int m_width = 0;
    int m_height = 0;
    QByteArray m_defs;
    QList<Frame> m_frames;
    QHash<QString, int> m_frameIndex;
    QList<Animation> m_animations;
    QHash<QString, int> m_animationIndex; // lower-case name
    QHash<QString, QByteArray> m_mouths;
    QStringList m_mouthOrder;
    QStringList m_speakingMouths;
};

} // namespace orvella
