#include "core/pop3/Pop3HeaderUnfolder.h"

#include "platform/Blanks.h"

namespace orvella::pop3 {

using platform::isBlank;
using platform::trimBlanks;

namespace {

Pop3HeaderUnfolder::Field makeField(const QByteArray& line)
{
    const qsizetype colon = line.indexOf(':');
    qsizetype nameEnd = colon;
    while (nameEnd > 0 && isBlank(line.at(nameEnd - 1)))
        --nameEnd;
    return {line.left(nameEnd), line.mid(colon + 1)};
}

} // namespace

bool Pop3HeaderUnfolder::isFieldLine(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) return false;
    qsizetype nameEnd = colon;
    while (nameEnd > 0 && isBlank(line[nameEnd - 1]))
        --nameEnd;
    if (nameEnd == 0) return false;
    for (qsizetype i = 0; i < nameEnd; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x21 || c > 0x7E) return false;
    }
    return true;
}

Pop3HeaderUnfolder::Result Pop3HeaderUnfolder::add(const QByteArray& line)
{
    if (!line.isEmpty() && isBlank(line.at(0)) && m_pending) {
        m_pending->value.append(line);
        return Result::Pending;
    }
    if (!isFieldLine(line)) {
        finish();
        return Result::NotAField;
    }
    finish();
    m_pending = makeField(line);
    return Result::Pending;
}

std::optional<Pop3HeaderUnfolder::Field> Pop3HeaderUnfolder::takeField()
{
    std::optional<Field> out;
    out.swap(m_done);
    return out;
}

void Pop3HeaderUnfolder::finish()
{
    if (!m_pending) return;
    m_pending->value = trimBlanks(m_pending->value);
    m_done = std::move(m_pending);
    m_pending.reset();
}

void Pop3HeaderUnfolder::clear()
{
    m_pending.reset();
    m_done.reset();
}

} // namespace orvella::pop3
