#pragma once
// The main window's status bar with its seven panes: the message pane (0), checksum (110),
// state (103), firmware revision (106) and the keyboard indicators CAP, NUM and SCRL. Pane 0
// shows "Ready" and, while a command is hovered, its status prompt.

#include "platform/WinTypes.h"

#include <QStatusBar>

#include <string>
#include <vector>

class QLabel;

class CStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr UINT ID_SEPARATOR = 0;
    static constexpr UINT ID_INDICATOR_CHECKSUM = 110;
    static constexpr UINT ID_INDICATOR_STATE = 103;
    static constexpr UINT ID_INDICATOR_FIRMWARE = 106;
    static constexpr UINT ID_INDICATOR_CAPS = 59137;
    static constexpr UINT ID_INDICATOR_NUM = 59138;
    static constexpr UINT ID_INDICATOR_SCRL = 59139;

    explicit CStatusBar(QWidget* parent = nullptr);

    int GetCount() const { return static_cast<int>(m_panes.size()); }
    // The index of the pane of an indicator id, or -1.
    int CommandToIndex(UINT id) const;
    UINT GetItemID(int index) const;
    // Writing a pane from a worker thread queues the write for the GUI thread; reading is for
    // the GUI thread only. Pane 0 shows what is written until the next status prompt.
    bool SetPaneText(int index, const std::string& text);
    std::string GetPaneText(int index) const;

    // Pane 0's text between status prompts: `text` until ReleaseMessage puts "Ready" back. GUI
    // thread.
    static constexpr const char* kReadyText = "Ready";
    void HoldMessage(const std::string& text);
    void ReleaseMessage();
    bool HoldsMessage() const { return m_bHolding; }

private:
    void SetLabelText(QLabel* label, const QString& text);
    bool m_bHolding = false;
    struct Pane {
        UINT id;
        QLabel* label;
    };
    std::vector<Pane> m_panes;
};
