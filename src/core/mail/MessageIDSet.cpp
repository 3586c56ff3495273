#include "core/mail/MessageIDSet.h"

namespace orvella {

MessageIDSet::MessageIDSet(const QStringList& ids)
{
    for (const QString& id : ids)
        add(id);
}

bool MessageIDSet::add(const QString& id)
{
    const qsizetype before = m_keys.size();
    m_keys.insert(id.toCaseFolded());
    if (m_keys.size() == before) return false;
    m_order.append(id);
    return true;
}

void MessageIDSet::clear()
{
    m_order.clear();
    m_keys.clear();
}

} // namespace orvella
