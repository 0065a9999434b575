#include "platform/ui/CommandTable.h"

#include <QCoreApplication>
#include <QKeyEvent>
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

void CommandTable::RefreshShortcuts()
{
    for (auto& [id, entry] : m_entries)
        if (entry.update && entry.action && !entry.action->shortcuts().isEmpty())
            UpdateEnabled(entry);
}

namespace {

// Every key press reaches the focus widget as a ShortcutOverride before the shortcut map is
// asked; plain typing (a printable character without Ctrl, Alt or Meta) is never a shortcut
// here and asks nothing.
class ShortcutKeyWatch final : public QObject {
public:
    explicit ShortcutKeyWatch(std::function<void()> refresh)
        : m_refresh(std::move(refresh))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            const auto* key = static_cast<const QKeyEvent*>(event);
            const QString text = key->text();
            const bool typing = !text.isEmpty() && text.front().isPrint()
                && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
            if (!typing)
                m_refresh();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_refresh;
};

} // namespace

std::unique_ptr<QObject> CommandTable::WatchShortcutKeys()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return nullptr;
    auto watch = std::make_unique<ShortcutKeyWatch>([this] { RefreshShortcuts(); });
    app->installEventFilter(watch.get()); // deleting the filter takes it off again
    return watch;
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
