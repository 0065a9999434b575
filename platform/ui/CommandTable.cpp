#include "platform/ui/CommandTable.h"

#include <QKeySequence>
#include <QObject>

namespace platform {

CommandTable::CommandTable(QObject* owner)
    : m_owner(owner)
{
}

QAction* CommandTable::Define(const CommandInfo& info)
{
    Entry& entry = m_entries[info.id];
    if (!entry.action) {
        entry.action = new QAction(m_owner);
        const UINT id = info.id;
        QObject::connect(entry.action, &QAction::triggered, m_owner, [this, id] { Execute(id); });
    }
    QString text = QString::fromStdString(info.text);
    if (const qsizetype tab = text.indexOf('\t'); tab >= 0)
        text.truncate(tab);
    entry.action->setText(text);
    entry.action->setShortcut(QKeySequence(QString::fromStdString(info.shortcut)));
    entry.statusTip = info.statusTip;
    entry.action->setToolTip(QString::fromStdString(info.statusTip.empty() ? info.text : info.statusTip));
    if (!info.icon.isNull())
        entry.action->setIcon(info.icon);
    entry.action->setData(info.id);
    UpdateEnabled(entry);
    return entry.action;
}

QAction* CommandTable::Action(UINT id) const
{
    auto it = m_entries.find(id);
    return it == m_entries.end() ? nullptr : it->second.action.data();
}

void CommandTable::Bind(UINT id, std::function<void()> handler)
{
    Entry& entry = m_entries[id];
    entry.handler = std::move(handler);
    UpdateEnabled(entry);
}

void CommandTable::Unbind(UINT id)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end())
        return;
    it->second.handler = nullptr;
    UpdateEnabled(it->second);
}

bool CommandTable::IsBound(UINT id) const
{
    auto it = m_entries.find(id);
    return it != m_entries.end() && it->second.handler;
}

void CommandTable::SetUpdate(UINT id, std::function<bool()> enabled)
{
    Entry& entry = m_entries[id];
    entry.update = std::move(enabled);
    UpdateEnabled(entry);
}

void CommandTable::SetUnboundStatusTip(UINT id, std::string tip)
{
    Entry& entry = m_entries[id];
    entry.unboundStatusTip = std::move(tip);
    UpdateEnabled(entry);
}

void CommandTable::SetChecked(UINT id, bool checked)
{
    if (QAction* action = Action(id)) {
        action->setCheckable(true);
        action->setChecked(checked);
    }
}

void CommandTable::UpdateEnabled(Entry& entry)
{
    if (!entry.action)
        return;
    entry.action->setEnabled(entry.handler && (!entry.update || entry.update()));
    const std::string& tip
        = !entry.handler && !entry.unboundStatusTip.empty() ? entry.unboundStatusTip : entry.statusTip;
    const QString text = QString::fromStdString(tip);
    if (entry.action->statusTip() != text)
        entry.action->setStatusTip(text);
}

void CommandTable::Refresh()
{
    for (auto& [id, entry] : m_entries)
        UpdateEnabled(entry);
}

bool CommandTable::Execute(UINT id)
{
    auto it = m_entries.find(id);
    if (it == m_entries.end() || !it->second.handler)
        return false;
    if (it->second.update && !it->second.update())
        return false;
    auto handler = it->second.handler; // the handler may rebind its own id
    if (m_beforeExecute)
        m_beforeExecute(id);
    handler();
    return true;
}

} // namespace platform
