// The device list hover tip: which items get a tip, its text with the record's notes, the delay,
// and leaving the list.

#include "catalogue/ui/DeviceListTip.h"

#include "catalogue/DeviceRecord.h"
#include "controls/ui/PopupText.h"
#include "shell/Language.h"

#include <QApplication>
#include <QListView>
#include <QMouseEvent>
#include <QStringListModel>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

namespace {

class DeviceListTip : public testing::Test {
protected:
    void SetUp() override
    {
        g_Language.Reset();
        g_LanguageTexts.clear();
        g_Language.SetTexts(g_LanguageDefaults.data(), kLanguageTextCount);
        auto add = [&](const std::string& name, const std::string& adapter, const std::string& platform) {
            CDeviceRecord record;
            record.m_strName = name;
            record.m_strAdapter = adapter;
            record.m_strPlatform = platform;
            records[name] = record;
        };
        add("AT24C16", "-1", "-1");
        add("PIC16F84A", "X", "-1");
        add("A very long device name that cannot fit in this list", "-1", "-1");
        add("ATmega8", "SOP28", "ZV-D");
        model.setStringList({ "AT24C16", "PIC16F84A", "A very long device name that cannot fit in this list", "ATmega8",
            "Unknown part" });
        view.setModel(&model);
        view.resize(200, 150);
        view.show();
        tip.SetRecordLookup([this](const std::string& name) -> const CDeviceRecord* {
            auto it = records.find(name);
            return it == records.end() ? nullptr : &it->second;
        });
        tip.Init(&view);
    }
    void TearDown() override
    {
        g_PopupTip().Cancel();
        g_Language.Reset();
        g_LanguageTexts.clear();
    }
    QPoint Centre(int row) const { return view.visualRect(model.index(row)).center(); }
    void Move(QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(view.viewport()->mapToGlobal(at)), Qt::NoButton,
            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &move);
    }
    bool Pending() { return g_PopupTip().IsTimerArmed(1); }

    std::map<std::string, CDeviceRecord> records;
    QStringListModel model;
    QListView view;
    CDeviceListTip tip;
};

TEST_F(DeviceListTip, TipsForNotesAndNamesThatDoNotFit)
{
    EXPECT_TRUE(tip.IsHooked());
    EXPECT_TRUE(view.viewport()->hasMouseTracking());
    EXPECT_TRUE(g_PopupTip().IsCreated());

    // A name that fits, without notes: nothing.
    Move(Centre(0));
    EXPECT_FALSE(Pending());
    EXPECT_FALSE(g_PopupTip().isVisible());

    // An adapter: pending with the note, then shown beside the item.
    Move(Centre(1));
    EXPECT_TRUE(Pending());
    EXPECT_EQ(g_PopupTip().Text(), "PIC16F84A <Adapter: X>");
    const QPoint item = view.viewport()->mapToGlobal(view.visualRect(model.index(1)).topLeft());
    EXPECT_EQ(g_PopupTip().pos(), item + QPoint(30, -15));
    const QSize own = g_PopupTip().size();
    // A second move inside the item changes nothing.
    Move(Centre(1) + QPoint(3, 0));
    EXPECT_TRUE(Pending());
    EXPECT_EQ(g_PopupTip().size(), own);
    g_PopupTip().OnTimer(1);
    EXPECT_TRUE(g_PopupTip().isVisible());

    // A long name without notes gets a tip too; both notes read in order.
    Move(Centre(2));
    EXPECT_FALSE(g_PopupTip().isVisible());
    EXPECT_TRUE(Pending());
    EXPECT_EQ(g_PopupTip().Text(), "A very long device name that cannot fit in this list");
    Move(Centre(3));
    EXPECT_EQ(g_PopupTip().Text(), "ATmega8 <Adapter: SOP28> <Programmer: ZV-D >");

    // Leaving the list hides the tip.
    g_PopupTip().OnTimer(1);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view.viewport(), &leave);
    EXPECT_FALSE(g_PopupTip().isVisible());
    EXPECT_FALSE(Pending());
    EXPECT_EQ(tip.m_nPrevItem, -1);

    // Below the items: no item, no tip.
    Move(QPoint(5, 140));
    EXPECT_FALSE(Pending());
}

TEST_F(DeviceListTip, ItemInfoReadsTheRecordAndTheLanguage)
{
    const QPoint unknown = Centre(4);
    const CDeviceListTip::ItemInfo none = tip.OnGetItemInfo(unknown.x(), unknown.y());
    EXPECT_EQ(none.index, 4);
    EXPECT_EQ(none.text, "Unknown part");
    EXPECT_FALSE(none.hasNotes);
    EXPECT_EQ(tip.OnGetItemInfo(5, 140).index, -1);

    const QPoint at = Centre(3);
    CDeviceListTip::ItemInfo info = tip.OnGetItemInfo(at.x(), at.y());
    EXPECT_TRUE(info.hasNotes);
    const QRect item = view.visualRect(model.index(3));
    EXPECT_EQ(info.rect.left, item.left());
    EXPECT_EQ(info.rect.top, item.top());
    EXPECT_EQ(info.rect.Width(), QFontMetrics(view.font()).horizontalAdvance(info.text));
    EXPECT_FALSE(tip.IsRectCompletelyVisible(WinRect { 0, 0, view.viewport()->width(), 10 }));
    EXPECT_TRUE(tip.IsRectCompletelyVisible(WinRect { 0, 0, view.viewport()->width() - 1, 10 }));

    g_LanguageTexts[37] = "Adaptateur";
    g_LanguageTexts[167] = "Programmateur";
    info = tip.OnGetItemInfo(at.x(), at.y());
    EXPECT_EQ(info.text, "ATmega8 <Adaptateur: SOP28> <Programmateur: ZV-D >");
}

} // namespace
