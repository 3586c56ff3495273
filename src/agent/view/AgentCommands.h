#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class QMenu;
class QWidget;

namespace orvella {

// The program's commands in the character's menu, in the order they were
// added, each enabled or not; the menu ends with "Hide".
class AgentCommands
{
public:
    void add(const QString& name, const QString& caption);
    void setEnabled(const QString& name, bool enabled);
    bool isEnabled(const QString& name) const;
    QStringList names() const;
    void clear() { m_commands.clear(); }

    // The menu as it opens now; chosen(name) for a command, hide() for "Hide".
    QMenu* createMenu(QWidget* parent, const std::function<void(const QString&)>& chosen,
                      const std::function<void()>& hide) const;

private:
    struct Entry
    {
        QString name;
        QString caption;
        bool enabled = true;
    };
    QList<Entry> m_commands;
};

} // namespace orvella
