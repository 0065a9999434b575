#pragma once
// One command table by numeric id: each command is one QAction (text, shortcut, status tip,
// icon) that menu, toolbar and keyboard share. A command is enabled only while a handler is
// bound to it, as the framework greys commands that nothing handles; an update function may
// narrow that further. While nothing handles it, a command can show a status tip of its own that
// says so.

#include "platform/WinTypes.h"

#include <QAction>
#include <QIcon>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QObject;

namespace platform {

struct CommandInfo {
    UINT id = 0;
    std::string text; // menu text, '&' marks the mnemonic; a tab before the shortcut's label is dropped
    std::string shortcut; // QKeySequence text, e.g. "Ctrl+R"; empty for none
    std::string statusTip;
    QIcon icon;
};

class CommandTable {
public:
    explicit CommandTable(QObject* owner);
    CommandTable(const CommandTable&) = delete;
    CommandTable& operator=(const CommandTable&) = delete;

    // Creates the action for the id, or updates the one there.
    QAction* Define(const CommandInfo& info);
    QAction* Action(UINT id) const;
    bool IsDefined(UINT id) const { return Action(id) != nullptr; }

    void Bind(UINT id, std::function<void()> handler);
    void Unbind(UINT id);
    bool IsBound(UINT id) const;
    // An extra condition for the enabled state, asked by Refresh().
    void SetUpdate(UINT id, std::function<bool()> enabled);
    // The status tip the command shows in place of its own while no handler is bound.
    void SetUnboundStatusTip(UINT id, std::string tip);
    void SetChecked(UINT id, bool checked);

    // Re-evaluates every command's enabled state (call before a menu shows).
    void Refresh();
    // Runs the command's handler as a menu choice would; false when none is bound or disabled.
    bool Execute(UINT id);
    // Called with the id before every handler that Execute runs.
    void SetBeforeExecute(std::function<void(UINT id)> hook) { m_beforeExecute = std::move(hook); }

private:
    struct Entry {
        QPointer<QAction> action;
        std::function<void()> handler;
        std::function<bool()> update;
        std::string statusTip;
        std::string unboundStatusTip;
    };
    void UpdateEnabled(Entry& entry);
    // Qt fires no shortcut of a disabled action, and Refresh runs only as a menu shows: the
    // commands with a shortcut and an update function are re-evaluated before a key press that
    // may be their shortcut is matched.
    void RefreshShortcuts();
    // The application's event filter that calls RefreshShortcuts.
    std::unique_ptr<QObject> WatchShortcutKeys();

    QObject* m_owner;
    std::map<UINT, Entry> m_entries;
    std::function<void(UINT)> m_beforeExecute;
    std::unique_ptr<QObject> m_keyWatch = WatchShortcutKeys();
};

} // namespace platform
