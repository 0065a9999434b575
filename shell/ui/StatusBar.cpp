#include "shell/ui/StatusBar.h"

#include "platform/GuiThread.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPointer>

CStatusBar::CStatusBar(QWidget* parent)
    : QStatusBar(parent)
{
    setObjectName("59393");
    struct Def {
        UINT id;
        const char* text;
    };
    static constexpr Def kPanes[] = {
        { ID_SEPARATOR, kReadyText },
        { ID_INDICATOR_CHECKSUM, "Checksum: 0xFFFF" },
        { ID_INDICATOR_STATE, "Idle" },
        { ID_INDICATOR_FIRMWARE, "Firmware Rev: ---" },
        { ID_INDICATOR_CAPS, "CAP" },
        { ID_INDICATOR_NUM, "NUM" },
        { ID_INDICATOR_SCRL, "SCRL" },
    };
    for (const Def& def : kPanes) {
        auto* label = new QLabel(QString::fromUtf8(def.text), this);
        if (def.id == ID_SEPARATOR) {
            // A long message is cut rather than widening the window; "Ready" always fits.
            label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
            label->setMinimumWidth(label->fontMetrics().horizontalAdvance(label->text()) + 8);
            addWidget(label, 1);
        } else {
            // The first text sets the pane's width, as the indicator's string does; a longer
            // text widens it (SetLabelText).
            label->setMinimumWidth(label->fontMetrics().horizontalAdvance(label->text()) + 12);
            label->setAlignment(Qt::AlignCenter);
            label->setFrameShape(QFrame::Panel);
            label->setFrameShadow(QFrame::Sunken);
            addPermanentWidget(label);
        }
        m_panes.push_back({ def.id, label });
    }
}

int CStatusBar::CommandToIndex(UINT id) const
{
    for (size_t i = 0; i < m_panes.size(); ++i)
        if (m_panes[i].id == id)
            return static_cast<int>(i);
    return -1;
}

UINT CStatusBar::GetItemID(int index) const
{
    return index >= 0 && index < GetCount() ? m_panes[static_cast<size_t>(index)].id : 0;
}

bool CStatusBar::SetPaneText(int index, const std::string& text)
{
    if (index < 0 || index >= GetCount())
        return false;
    if (!platform::IsGuiThread()) {
        QPointer<CStatusBar> self(this);
        return platform::post([self, index, text] {
            if (self)
                self->SetPaneText(index, text);
        });
    }
    SetLabelText(m_panes[static_cast<size_t>(index)].label, QString::fromStdString(text));
    return true;
}

void CStatusBar::SetLabelText(QLabel* label, const QString& text)
{
    label->setText(text);
    if (label == m_panes.front().label)
        return;
    const int needed = label->fontMetrics().horizontalAdvance(text) + 12;
    if (needed > label->minimumWidth())
        label->setMinimumWidth(needed);
}

void CStatusBar::HoldMessage(const std::string& text)
{
    m_bHolding = true;
    SetLabelText(m_panes.front().label, QString::fromStdString(text));
}

void CStatusBar::ReleaseMessage()
{
    if (!m_bHolding)
        return;
    m_bHolding = false;
    SetLabelText(m_panes.front().label, kReadyText);
}

std::string CStatusBar::GetPaneText(int index) const
{
    if (index < 0 || index >= GetCount())
        return {};
    if (index == 0 && !currentMessage().isEmpty())
        return currentMessage().toStdString();
    return m_panes[static_cast<size_t>(index)].label->text().toStdString();
}
