// Where the chip goes in the socket: the picture a device's package chooses, what each drawing
// shows, and the dialog that shows it for the current device.

#include "catalogue/ChipPicture.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/ui/ChipLocationDlg.h"

#include <QLabel>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

using namespace chip_picture;

TEST(ChipPicture, ThePackageChoosesThePictureAndANonPicWithAnAdapterGetsTheAdapter)
{
    const struct {
        const char* package;
        bool pic;
        int classIndex;
        const char* adapter;
        int picture;
    } cases[] = {
        { "DIP8", false, 100, "", kDip8Bottom },
        { "DIP8", true, 313, "", kDip8Pic },
        { "DIP18", false, 100, "", kDip18 },
        { "DIP20", false, 100, "", kDip20 },
        { "DIP24", false, 100, "", kDip24 },
        { "DIP28", false, 312, "", kDip28 }, // 312 is no PIC here
        { "DIP28", true, 313, "", kDip28Top },
        { "DIP32", false, 100, "", kDip32 },
        { "DIP40", false, 100, "", kDip40 },
        { "PIC12F50X", true, 320, "", kDip8Pic },
        { "TQFP64", false, 100, "", kNone },
        { "dip28", false, 100, "", kNone }, // compared exactly
        { "DIP28 ", false, 100, "", kNone },
        { "", false, 100, "", kNone },
        // An adapter replaces any package's picture below the PICs, and none above.
        { "DIP28", false, 200, "PLCC32", kAdapter },
        { "TQFP64", false, 312, "ADP-01", kAdapter },
        { "DIP8", true, 313, "ADP-01", kDip8Pic },
        { "DIP40", false, kNoDeviceClass, "ADP-01", kDip40 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseChipPicture(c.package, c.pic, c.classIndex, c.adapter), c.picture)
            << c.package << " " << c.classIndex << " " << c.adapter;
}

TEST(ChipPicture, EachDrawingCoversExactlyItsRowsWideOrNarrowWithPinOneMarked)
{
    using namespace socket_drawing;
    const struct {
        int id;
        int first, last;
        bool wide;
    } pictures[] = {
        { kDip18, 12, 20, false },
        { kDip20, 11, 20, false },
        { kDip24, 9, 20, true },
        { kDip28, 7, 20, true },
        { kDip32, 5, 20, true },
        { kDip40, 1, 20, true },
        { kDip8Bottom, 17, 20, false },
        { kDip8Pic, 12, 15, false },
        { kDip28Top, 1, 14, false },
    };
    const QRgb body = kBodyColour;
    for (const auto& p : pictures) {
        SCOPED_TRACE(p.id);
        const QImage image = DrawSocketPicture(p.id);
        ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
        const int narrowProbe = kNarrowLeft + 7; // inside both bodies, clear of the pin-1 marks
        const int wideProbe = kWideLeft + 6; // inside the wide body only
        for (int row = 1; row <= 20; ++row) {
            const int y = RowTop(row) + kRowPitch / 2;
            const bool covered = row >= p.first && row <= p.last;
            EXPECT_EQ(image.pixel(narrowProbe, y) == body, covered) << "row " << row;
            EXPECT_EQ(image.pixel(wideProbe, y) == body, covered && p.wide) << "row " << row;
            EXPECT_EQ(image.pixel(kWideRight - 6, y) == body, covered && p.wide) << "row " << row;
        }
        // The body ends on the row boundaries.
        EXPECT_EQ(image.pixel(narrowProbe, RowTop(p.last + 1) - 1), body);
        EXPECT_NE(image.pixel(narrowProbe, RowTop(p.last + 1)), body);
        EXPECT_EQ(image.pixel(narrowProbe, RowTop(p.first) + kRowPitch - 1), body);
        if (p.first > 1) {
            EXPECT_NE(image.pixel(narrowProbe, RowTop(p.first) - 1), body);
        }
        // Pin 1 up: the notch in the middle of the top edge, the bottom edge whole.
        const int left = p.wide ? kWideLeft : kNarrowLeft;
        const int right = p.wide ? kWideRight : kNarrowRight;
        const int middle = (left + right) / 2;
        EXPECT_NE(image.pixel(middle, RowTop(p.first)), body) << "the notch";
        EXPECT_EQ(image.pixel(middle, RowTop(p.last + 1) - 1), body) << "no notch at the bottom";
        EXPECT_NE(image.pixel(left + 3, RowTop(p.first) + 3), body) << "the dot beside pin 1";
    }

    const QImage adapter = DrawSocketPicture(kAdapter);
    ASSERT_EQ(adapter.size(), QSize(kAdapterWidth, kAdapterHeight));
    EXPECT_EQ(adapter.pixel(8, kAdapterHeight / 2), QRgb(kBoardColour)) << "the board over the socket";
    int words = 0; // the white lettering on the board
    for (int y = 0; y < kAdapterHeight; ++y)
        for (int x = 0; x < kAdapterWidth; ++x)
            words += adapter.pixel(x, y) == qRgb(255, 255, 255) && y > 30 && y < kAdapterHeight - 14;
    EXPECT_GT(words, 20);

    EXPECT_TRUE(DrawSocketPicture(kNone).isNull());
    EXPECT_TRUE(DrawSocketPicture(257).isNull());
}

class ChipLocationDlgTest : public testing::Test {
protected:
    void SetUp() override { InitDeviceClassTable(); }
    void TearDown() override
    {
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = CDeviceClass();
    }
    static void Select(int classIndex, const std::string& package, const std::string& adapter = {})
    {
        g_nCurrentClass = classIndex;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(classIndex)];
        g_CurrentDevice.m_strPackage = package;
        g_CurrentDevice.m_strAdapter = adapter;
    }
    static QImage Shown(const CChipLocationDlg& dialog)
    {
        return dialog.Picture()->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    }
};

TEST_F(ChipLocationDlgTest, OpensOnTheDevicesPictureAndFollowsTheDeviceWhileOneIsSelected)
{
    Select(200, "DIP32");
    CChipLocationDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Chip Location");
    EXPECT_EQ(dialog.findChild<QLabel*>(QString::number(CChipLocationDlg::IDC_PICTURE)), dialog.Picture());
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.ShownPicture(), kDip32);
    EXPECT_EQ(Shown(dialog), DrawSocketPicture(kDip32));

    // A repaint follows a change of device.
    Select(313, "DIP8");
    ASSERT_NE(g_CurrentDevice.m_pPicConfig, nullptr);
    dialog.grab(); // a paint
    EXPECT_EQ(dialog.ShownPicture(), kDip8Pic);
    EXPECT_EQ(Shown(dialog), DrawSocketPicture(kDip8Pic));

    // Without a device, repaints leave the picture.
    g_nCurrentClass = kNoDeviceClass;
    g_CurrentDevice.m_strPackage = "DIP40";
    dialog.grab();
    EXPECT_EQ(dialog.ShownPicture(), kDip8Pic);

    // A package without a picture leaves the static empty.
    Select(200, "TQFP64");
    dialog.grab();
    EXPECT_EQ(dialog.ShownPicture(), kNone);
    EXPECT_TRUE(dialog.Picture()->pixmap().isNull());
}

TEST_F(ChipLocationDlgTest, WithNoDeviceTheDialogStillChoosesWhenItOpens)
{
    g_nCurrentClass = kNoDeviceClass;
    g_CurrentDevice = CDeviceClass();
    g_CurrentDevice.m_strPackage = "DIP40";
    CChipLocationDlg dialog;
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.ShownPicture(), kDip40);
}

} // namespace
