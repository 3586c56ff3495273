#include "agent/engine/CharacterFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QSvgRenderer>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

constexpr auto Magic = "ORVELLA CHARACTER 1";
constexpr int MaxFrames = 4000;
constexpr int MaxAnimations = 1000;
constexpr int MaxRows = 2000;
constexpr int MaxMs = 60000;

bool validName(const QString& s)
{
    if (s.isEmpty() || s.size() > 64) return false;
    for (QChar c : s) {
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_' && c != u'-' && c != u'.') return false;
    }
    return true;
}

bool parseDouble(const QString& s, double lo, double hi, double& out)
{
    bool ok = false;
    const double v = s.toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < lo || v > hi) return false;
    out = v;
    return true;
}

// Keywords and their arguments are separated by blanks.
QStringList words(const QString& line)
{
    return line.split(u' ', Qt::SkipEmptyParts);
}

} // namespace

int CharacterFile::Animation::durationMs() const
{
    int total = 0;
    for (const Row& r : rows)
        total += r.ms;
    return total;
}

bool CharacterFile::fail(int line, const QString& message)
{
    const QString where = m_fileName.isEmpty() ? QString() : m_fileName + u": "_s;
    m_error = line > 0 ? u"%1line %2: %3"_s.arg(where).arg(line).arg(message) : where + message;
    return false;
}

bool CharacterFile::load(const QString& path)
{
    m_fileName = QFileInfo(path).fileName();
    QFile f(path);
    if (!f.exists()) return fail(0, u"the character file does not exist"_s);
    if (!f.open(QIODevice::ReadOnly))
        return fail(0, u"the character file cannot be read: %1"_s.arg(f.errorString()));
    if (f.size() > MaxFileBytes)
        return fail(0, u"the file is too big to be a character (%1 bytes)"_s.arg(f.size()));
    const QByteArray data = f.read(MaxFileBytes + 1);
    return parse(data, m_fileName);
}

bool CharacterFile::checkSvg(const QByteArray& body, int line, const QString& what)
{
    // Character files come from anywhere: no document types (entity
    // expansion), no pictures pulled in from other files.
    static const char* const banned[] = {"<!doctype", "<!entity", "<image", "<?xml", "<foreignobject"};
    const QByteArray lower = body.toLower();
    for (const char* b : banned) {
        if (lower.contains(b))
            return fail(line,
                        u"%1 uses %2, which character files may not use"_s.arg(what, QString::fromLatin1(b)));
    }
    return true;
}

// What parsing has read so far beyond the character itself: the lines, where
// it stands, and the references it resolves once the whole file is read.
struct CharacterFile::ParseState
{
    struct PendingFrame
    {
        int line;
        QString mouth; // as the frame names it; empty: the default
    };
    struct PendingRow
    {
        int line;
        QString frame;
    };
    QStringList lines;
    qsizetype i = 0;
    QList<PendingFrame> frameLines;
    QList<QList<PendingRow>> rowLines;
    bool sawName = false, sawSize = false, sawDefs = false;
    int speakingLine = 0;

    int lineNo() const { return int(i + 1); }

    // Reads a block's lines up to "end"; false (standing where it began) when
    // the file ends first or a keyword shows that "end" was left out.
    bool readBlock(QByteArray& out)
    {
        const qsizetype start = i;
        for (++i; i < lines.size(); ++i) {
            const QString t = lines.at(i).trimmed();
            if (t == u"end"_s) return true;
            // SVG lines start with markup; a keyword here means "end" was left out.
            const QString first = t.section(u' ', 0, 0);
            if (first == u"frame"_s || first == u"mouth"_s || first == u"animation"_s || first == u"defs"_s)
                break;
            out += lines.at(i).toUtf8();
            out += '\n';
        }
        i = start;
        return false;
    }
};

bool CharacterFile::parse(const QByteArray& data, const QString& fileName)
{
    *this = CharacterFile();
    m_fileName = fileName;
    if (data.size() > MaxFileBytes) return fail(0, u"the file is too big to be a character"_s);
    if (data.contains('\0')) return fail(0, u"this is not a character file (it holds binary data)"_s);
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(data);
    if (decoder.hasError()) return fail(0, u"this is not a character file (it is not UTF-8 text)"_s);

    ParseState st;
    st.lines = text.split(u'\n');
    for (QString& l : st.lines) {
        if (l.endsWith(u'\r')) l.chop(1);
    }
    bool sawMagic = false;
    for (st.i = 0; st.i < st.lines.size(); ++st.i) {
        const QString line = st.lines.at(st.i).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        if (!sawMagic) {
            if (line != QLatin1StringView(Magic))
                return fail(st.lineNo(), u"this is not a character file (it must begin with \"%1\")"_s.arg(
                                             QLatin1StringView(Magic)));
            sawMagic = true;
            continue;
        }
        if (!parseKeyword(st, line)) return false;
    }
    if (!sawMagic) return fail(0, u"this is not a character file (it is empty)"_s);
    if (!st.sawName) return fail(0, u"the character has no name"_s);
    if (!st.sawSize) return fail(0, u"the character has no size"_s);
    if (m_frames.isEmpty()) return fail(0, u"the character has no frames"_s);
    return resolveReferences(st) && checkDrawable(st);
}

bool CharacterFile::parseKeyword(ParseState& st, const QString& line)
{
    const int lineNo = st.lineNo();
    const QStringList w = words(line);
    const QString& key = w.first();
    if (key == u"name"_s) {
        const QString value = line.mid(4).trimmed();
        if (value.isEmpty() || value.size() > 64)
            return fail(lineNo, u"the character's name must be 1 to 64 characters long"_s);
        for (QChar c : value) {
            if (!c.isPrint()) return fail(lineNo, u"the character's name holds a control character"_s);
        }
        if (st.sawName) return fail(lineNo, u"the name is given twice"_s);
        m_name = value;
        st.sawName = true;
    } else if (key == u"size"_s) {
        bool okW = false, okH = false;
        if (w.size() != 3) return fail(lineNo, u"size needs a width and a height"_s);
        m_width = w.at(1).toInt(&okW);
        m_height = w.at(2).toInt(&okH);
        if (!okW || !okH || m_width < 16 || m_height < 16 || m_width > 1024 || m_height > 1024)
            return fail(lineNo, u"width and height must be whole numbers from 16 to 1024"_s);
        if (st.sawSize) return fail(lineNo, u"the size is given twice"_s);
        st.sawSize = true;
    } else if (key == u"speaking-mouths"_s) {
        if (w.size() < 3) return fail(lineNo, u"speaking-mouths needs at least two mouth shapes"_s);
        m_speakingMouths = w.mid(1);
        st.speakingLine = lineNo;
    } else if (key == u"defs"_s) {
        if (w.size() != 1) return fail(lineNo, u"defs takes no arguments"_s);
        if (st.sawDefs) return fail(lineNo, u"defs is given twice"_s);
        if (!st.readBlock(m_defs)) return fail(lineNo, u"defs has no \"end\""_s);
        if (!checkSvg(m_defs, lineNo, u"defs"_s)) return false;
        st.sawDefs = true;
    } else if (key == u"mouth"_s) {
        return parseMouth(st, w);
    } else if (key == u"frame"_s) {
        return parseFrame(st, w);
    } else if (key == u"animation"_s) {
        return parseAnimation(st, w);
    } else {
        return fail(lineNo, u"unknown keyword \"%1\""_s.arg(key.left(40)));
    }
    return true;
}

bool CharacterFile::parseMouth(ParseState& st, const QStringList& w)
{
    const int lineNo = st.lineNo();
    if (w.size() != 2 || !validName(w.at(1)))
        return fail(lineNo, u"a mouth needs one name of letters, digits, '_', '-' or '.'"_s);
    if (m_mouths.contains(w.at(1))) return fail(lineNo, u"mouth \"%1\" is defined twice"_s.arg(w.at(1)));
    QByteArray body;
    if (!st.readBlock(body)) return fail(lineNo, u"mouth \"%1\" has no \"end\""_s.arg(w.at(1)));
    if (!checkSvg(body, lineNo, u"mouth \"%1\""_s.arg(w.at(1)))) return false;
    m_mouths.insert(w.at(1), body);
    m_mouthOrder.append(w.at(1));
    return true;
}

bool CharacterFile::parseFrame(ParseState& st, const QStringList& w)
{
    const int lineNo = st.lineNo();
    if (w.size() < 2 || !validName(w.at(1)))
        return fail(lineNo, u"a frame needs one name of letters, digits, '_', '-' or '.'"_s);
    if (m_frameIndex.contains(w.at(1))) return fail(lineNo, u"frame \"%1\" is defined twice"_s.arg(w.at(1)));
    if (m_frames.size() >= MaxFrames) return fail(lineNo, u"too many frames"_s);
    Frame f;
    f.name = w.at(1);
    QString mouth; // the default: the file's first (speaking) mouth
    for (const QString& opt : w.mid(2)) {
        if (opt.startsWith(u"mouth="_s))
            mouth = opt.mid(6);
        else
            return fail(lineNo, u"unknown frame option \"%1\""_s.arg(opt));
    }
    if (!st.readBlock(f.body)) return fail(lineNo, u"frame \"%1\" has no \"end\""_s.arg(f.name));
    if (!checkSvg(f.body, lineNo, u"frame \"%1\""_s.arg(f.name))) return false;
    f.usesMouth = f.body.contains("\"#mouth\"");
    m_frameIndex.insert(f.name, int(m_frames.size()));
    m_frames.append(f);
    st.frameLines.append({lineNo, mouth});
    return true;
}

bool CharacterFile::parseAnimation(ParseState& st, const QStringList& w)
{
    const int lineNo = st.lineNo();
    if (w.size() < 2 || w.size() > 3 || !validName(w.at(1)))
        return fail(lineNo, u"an animation needs one name of letters, digits, '_', '-' or '.'"_s);
    if (w.size() == 3 && w.at(2) != u"loop"_s)
        return fail(lineNo, u"unknown animation option \"%1\""_s.arg(w.at(2)));
    if (m_animationIndex.contains(w.at(1).toLower()))
        return fail(lineNo, u"animation \"%1\" is defined twice"_s.arg(w.at(1)));
    if (m_animations.size() >= MaxAnimations) return fail(lineNo, u"too many animations"_s);
    Animation a;
    a.name = w.at(1);
    a.loop = w.size() == 3;
    QList<ParseState::PendingRow> rows;
    bool ended = false;
    for (++st.i; st.i < st.lines.size(); ++st.i) {
        const QString rowLine = st.lines.at(st.i).trimmed();
        if (rowLine.isEmpty() || rowLine.startsWith(u'#')) continue;
        if (rowLine == u"end"_s) {
            ended = true;
            break;
        }
        const QStringList rw = words(rowLine);
        Row r;
        if (!parseRow(st.lineNo(), rw, r)) return false;
        if (a.rows.size() >= MaxRows)
            return fail(st.lineNo(), u"animation \"%1\" has too many rows"_s.arg(a.name));
        a.rows.append(r);
        rows.append({st.lineNo(), rw.at(0)});
    }
    if (!ended) return fail(lineNo, u"animation \"%1\" has no \"end\""_s.arg(a.name));
    if (a.rows.isEmpty()) return fail(lineNo, u"animation \"%1\" has no frames"_s.arg(a.name));
    m_animationIndex.insert(a.name.toLower(), int(m_animations.size()));
    m_animations.append(a);
    st.rowLines.append(rows);
    return true;
}

// One row of an animation: a frame, its duration and its options.
bool CharacterFile::parseRow(int rowNo, const QStringList& rw, Row& r)
{
    if (rw.size() < 2) return fail(rowNo, u"an animation row needs a frame and a duration in ms"_s);
    bool ok = false;
    r.ms = rw.at(1).toInt(&ok);
    if (!ok || r.ms < 1 || r.ms > MaxMs)
        return fail(rowNo, u"a duration must be a whole number of ms from 1 to %1"_s.arg(MaxMs));
    for (const QString& opt : rw.mid(2)) {
        const qsizetype eq = opt.indexOf(u'=');
        const QString k = opt.left(eq), v = eq < 0 ? QString() : opt.mid(eq + 1);
        bool good = false;
        if (k == u"scale"_s)
            good = parseDouble(v, 0.0, 4.0, r.scale);
        else if (k == u"opacity"_s)
            good = parseDouble(v, 0.0, 1.0, r.opacity);
        else if (k == u"dx"_s)
            good = parseDouble(v, -4096, 4096, r.dx);
        else if (k == u"dy"_s)
            good = parseDouble(v, -4096, 4096, r.dy);
        else if (k == u"rotate"_s)
            good = parseDouble(v, -360, 360, r.rotate);
        else
            return fail(rowNo, u"unknown row option \"%1\""_s.arg(opt));
        if (!good) return fail(rowNo, u"the value of \"%1\" is out of range or not a number"_s.arg(k));
    }
    return true;
}

// The names the file uses before or after defining them: each frame's mouth,
// the speaking mouths, and the frames of each animation's rows.
bool CharacterFile::resolveReferences(const ParseState& st)
{
    const QString defaultMouth = !m_speakingMouths.isEmpty() ? m_speakingMouths.first()
                                 : !m_mouthOrder.isEmpty()   ? m_mouthOrder.first()
                                                             : QString();
    for (qsizetype f = 0; f < m_frames.size(); ++f) {
        const auto& pending = st.frameLines.at(f);
        const QString mouth = pending.mouth.isEmpty() ? defaultMouth : pending.mouth;
        if (mouth == u"none"_s) {
            m_frames[f].mouth.clear();
        } else if (m_frames.at(f).usesMouth) {
            if (mouth.isEmpty())
                return fail(pending.line, u"frame \"%1\" draws a mouth, but the file defines none"_s.arg(
                                              m_frames.at(f).name));
            if (!m_mouths.contains(mouth))
                return fail(pending.line, u"frame \"%1\" uses mouth \"%2\", which is not defined"_s.arg(
                                              m_frames.at(f).name, mouth));
            m_frames[f].mouth = mouth;
        }
    }
    for (const QString& m : std::as_const(m_speakingMouths)) {
        if (!m_mouths.contains(m))
            return fail(st.speakingLine, u"speaking mouth \"%1\" is not defined"_s.arg(m));
    }
    for (qsizetype a = 0; a < m_animations.size(); ++a) {
        for (qsizetype r = 0; r < m_animations.at(a).rows.size(); ++r) {
            const auto& pr = st.rowLines.at(a).at(r);
            const int frame = m_frameIndex.value(pr.frame, -1);
            if (frame < 0)
                return fail(pr.line, u"animation \"%1\" uses frame \"%2\", which is not defined"_s.arg(
                                         m_animations.at(a).name, pr.frame.left(64)));
            m_animations[a].rows[r].frame = frame;
        }
    }
    return true;
}

// Every picture must be a drawable SVG document.
bool CharacterFile::checkDrawable(const ParseState& st)
{
    for (qsizetype f = 0; f < m_frames.size(); ++f) {
        QSvgRenderer r(frameDocument(int(f), m_frames.at(f).mouth));
        if (!r.isValid())
            return fail(st.frameLines.at(f).line,
                        u"frame \"%1\" is not valid SVG"_s.arg(m_frames.at(f).name));
    }
    for (const QString& m : std::as_const(m_mouthOrder)) {
        QSvgRenderer r(frameDocument(restFrame(), m));
        if (!r.isValid()) return fail(0, u"mouth \"%1\" is not valid SVG"_s.arg(m));
    }
    return true;
}

QStringList CharacterFile::animationNames() const
{
    QStringList names;
    for (const Animation& a : m_animations)
        names.append(a.name);
    return names;
}

int CharacterFile::findAnimation(const QString& name) const
{
    return m_animationIndex.value(name.toLower(), -1);
}

int CharacterFile::restFrame() const
{
    const int rest = findAnimation(u"RestPose"_s);
    if (rest >= 0) return m_animations.at(rest).rows.first().frame;
    return 0;
}

QByteArray CharacterFile::frameDocument(int frame, const QString& mouth) const
{
    QByteArray doc;
    const QByteArray w = QByteArray::number(m_width), h = QByteArray::number(m_height);
    doc += "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"" +
           w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w + " " + h + "\">\n<defs>\n";
    doc += m_defs;
    doc += "<g id=\"mouth\">\n";
    doc += m_mouths.value(mouth);
    doc += "</g>\n</defs>\n";
    if (frame >= 0 && frame < m_frames.size()) doc += m_frames.at(frame).body;
    doc += "</svg>\n";
    return doc;
}

} // namespace orvella
