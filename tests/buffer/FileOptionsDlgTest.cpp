#include "buffer/ui/FileOptionsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QValidator>

#include <gtest/gtest.h>

namespace {

TEST(FileOptionsDialog, PreselectsTheFormatByNameWithNormalModesAndTheDefaultOffset)
{
    struct Case {
        const char* name;
        int format;
        bool extendedLinear;
    };
    const Case cases[] = {
        { "/d/image.HEX", 1, true },
        { "/d/image.s", 2, false },
        { "/d/image.rom", 3, false },
        { "/d/chip.stapl", 4, false },
        { "/d/chip.jam", 5, false },
        { "/d/chip.jbc", 6, false },
        { "/d/chip.jed", 7, false },
        { "/d/image.bin", 0, false },
        { "/d/image", 0, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFileOptionsDlg dialog(c.name);
        EXPECT_EQ(dialog.m_strPattern, c.name);
        EXPECT_EQ(dialog.FormatList()->currentIndex(), c.format);
        EXPECT_EQ(dialog.ExtendedLinearBox()->isChecked(), c.extendedLinear);
        EXPECT_FALSE(dialog.ExtendedLinearBox()->isEnabled());
        EXPECT_EQ(dialog.ReadModeList()->currentText().toStdString(), "Normal");
        EXPECT_EQ(dialog.FillList()->currentText().toStdString(), "Normal");
        EXPECT_EQ(dialog.OffsetEdit()->text().toStdString(), "000000");
    }
}

TEST(FileOptionsDialog, TheExtendedLinearBoxIsForIntelHexOnly)
{
    CFileOptionsDlg dialog("/d/image.bin");
    dialog.FormatList()->setCurrentIndex(1);
    EXPECT_TRUE(dialog.ExtendedLinearBox()->isEnabled());
    dialog.FormatList()->setCurrentIndex(2);
    EXPECT_FALSE(dialog.ExtendedLinearBox()->isEnabled());
}

TEST(FileOptionsDialog, OkStoresPatternModeFillAndOffset)
{
    struct Case {
        int format, mode, fill;
        const char* offset;
        const char* pattern;
        const char* fillText;
        const char* offsetText;
    };
    const Case cases[] = {
        { 0, 0, 0, "000000", "*.bin", "FF", "000000" },
        { 1, 8, 2, "-10", "*.hex", "00", "-10" },
        { 2, 3, 1, "", "*.s", "FF", "0" }, // an empty offset is 0
        { 8, 1, 2, "0x200", "*.cds", "00", "0x200" },
        { -1, 0, 0, "1", "", "FF", "1" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        CFileOptionsDlg dialog("/d/file.bin");
        dialog.FormatList()->setCurrentIndex(c.format);
        dialog.ReadModeList()->setCurrentIndex(c.mode);
        dialog.FillList()->setCurrentIndex(c.fill);
        dialog.OffsetEdit()->setText(c.offset);
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.m_strFormat, c.pattern);
        EXPECT_EQ(dialog.m_nOpenMode, c.mode);
        EXPECT_EQ(dialog.m_strFill, c.fillText);
        EXPECT_EQ(dialog.m_strOffset, c.offsetText);
    }
}

TEST(FileOptionsDialog, TheOffsetFieldTakesOnlySignedHex)
{
    CFileOptionsDlg dialog("/d/file.bin");
    const QValidator* validator = dialog.OffsetEdit()->validator();
    ASSERT_NE(validator, nullptr);
    for (const char* good : { "000000", "-10", "0x200", "FFFFFFF0", "abc" }) {
        QString text(good);
        int pos = 0;
        EXPECT_EQ(validator->validate(text, pos), QValidator::Acceptable) << good;
    }
    for (const char* bad : { "12G4", "1FFFFFFFF", "--1", "+5" }) {
        QString text(bad);
        int pos = 0;
        EXPECT_EQ(validator->validate(text, pos), QValidator::Invalid) << bad;
    }
}

} // namespace
