#pragma once
// A hook on a device list (the viewport of an item view): while the mouse moves over an item it
// shows the program's popup tip beside the item with the item's full text and the adapter and
// programmer notes of its device record, when the text does not fit or there are notes.

#include "controls/ui/SubclassWnd.h"
#include "platform/WinTypes.h"
#include "platform/ui/GdiShim.h"

#include <QAbstractItemView>
#include <QPointer>
#include <QString>

#include <functional>
#include <string>

class CDeviceRecord;

class CDeviceListTip : public CSubclassWnd {
    Q_OBJECT
public:
    // The record of exactly that name, or none; g_DeviceLibrary.FindDevice by default.
    using RecordLookup = std::function<const CDeviceRecord*(const std::string& name)>;

    CDeviceListTip();
    ~CDeviceListTip() override;

    // Hooks the view's viewport (mouse tracking on) and creates the tip's window when missing.
    void Init(QAbstractItemView* view);
    void SetRecordLookup(RecordLookup lookup) { m_lookup = std::move(lookup); }

    struct ItemInfo {
        int index = -1; // the item's row; -1 for none
        WinRect rect; // in the viewport, sized to the text
        QString text;
        bool hasNotes = false;
    };
    virtual ItemInfo OnGetItemInfo(int x, int y) const;
    virtual bool IsRectCompletelyVisible(const WinRect& rect) const;
    virtual void OnMouseMove(int x, int y);
    bool WindowProc(QObject* window, QEvent* event) override;

    int m_nListId = 0;
    int m_nPrevItem = -1;

private:
    void LeaveItems();

    QPointer<QAbstractItemView> m_view;
    RecordLookup m_lookup;
};
