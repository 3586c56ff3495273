#include "agent/view/AgentCommands.h"

#include <QMenu>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

void AgentCommands::add(const QString& name, const QString& caption)
{
    // Adding a name again changes its caption; a menu lists each command once.
    for (Entry& c : m_commands) {
        if (c.name == name) {
            c.caption = caption;
            return;
        }
    }
    m_commands.append({name, caption, true});
}

void AgentCommands::setEnabled(const QString& name, bool enabled)
{
    for (Entry& c : m_commands) {
        if (c.name == name) c.enabled = enabled;
    }
}

bool AgentCommands::isEnabled(const QString& name) const
{
    for (const Entry& c : m_commands) {
        if (c.name == name) return c.enabled;
    }
    return false;
}

QStringList AgentCommands::names() const
{
    QStringList out;
    for (const Entry& c : m_commands)
        out.append(c.name);
    return out;
}

QMenu* AgentCommands::createMenu(QWidget* parent, const std::function<void(const QString&)>& chosen,
                                 const std::function<void()>& hide) const
{
    auto* menu = new QMenu(parent);
    menu->setObjectName(u"CharacterMenu"_s);
    for (const Entry& c : m_commands) {
        QAction* a = menu->addAction(c.caption);
        a->setEnabled(c.enabled);
        a->setData(c.name);
        QObject::connect(a, &QAction::triggered, menu, [chosen, name = c.name] { chosen(name); });
    }
    if (!m_commands.isEmpty()) menu->addSeparator();
    QAction* h = menu->addAction(u"&Hide"_s);
    h->setData(u"Hide"_s);
    QObject::connect(h, &QAction::triggered, menu, [hide] { hide(); });
    return menu;
}

} // namespace orvella
