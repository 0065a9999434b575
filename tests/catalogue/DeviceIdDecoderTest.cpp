// The chip-ID dialog's texts: the revision, the selected device named by its own ID, any other ID
// not in the library; and the dialog showing them under the language's labels.

#include "catalogue/DeviceIdDecoder.h"
#include "catalogue/ui/DeviceIdDlg.h"

#include "catalogue/DeviceClass.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"

#include <QGroupBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

class DeviceIdDecoderTest : public testing::Test {
protected:
    void SetUp() override
    {
        InitLanguageForView();
        g_CurrentDevice = CDeviceClass();
        g_CurrentDevice.m_strId = "1E9306";
        g_CurrentDevice.m_strManufacturer = "ATMEL";
        g_CurrentDevice.m_strName = "ATmega8515";
    }
    void TearDown() override
    {
        g_CurrentDevice = CDeviceClass();
        g_Language.Reset();
    }
};

TEST_F(DeviceIdDecoderTest, DecodesTheSelectedDeviceAndNothingElse)
{
    struct Case {
        const char* name;
        const char* id;
        const char* code;
        const char* revision;
        const char* shownId;
        const char* manufacturer;
        const char* type;
        const char* shownRevision;
    };
    const Case cases[] = {
        { "the selected device, read in lower case", "1e9306", "", "", "1E9306", "ATMEL", "ATmega8515", "-" },
        { "another chip", "1e950f", "", "", "1E950F", "Not in library", "Unknown Device", "-" },
        { "a PIC word and its revision", "0fa0", "29", "1f", "0FA0", "Not in library", "Unknown Device", "1F" },
        { "an erased PIC", "3fff", "29", "4", "3FFF", "Not in library", "Unknown Device", "-" },
        { "no chip", "ffff", "29", "4", "FFFF", "Not in library", "Unknown Device", "-" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDeviceIdDecoder decoder;
        decoder.DecodeDeviceId(c.id, 0, c.code, c.revision);
        EXPECT_EQ(decoder.m_strDeviceId, c.shownId);
        EXPECT_EQ(decoder.m_strManufacturerText, c.manufacturer);
        EXPECT_EQ(decoder.m_strType, c.type);
        EXPECT_EQ(decoder.m_strRevision, c.shownRevision);
    }
}

TEST_F(DeviceIdDecoderTest, ADecodeOverwritesTheLastOneButAnotherCodeKeepsTheRevision)
{
    CDeviceIdDecoder decoder;
    decoder.DecodeDeviceId("1060", 2, "29", "6");
    decoder.DecodeDeviceId("1E9306", 3, "", "");
    EXPECT_EQ(decoder.m_strType, "ATmega8515");
    EXPECT_EQ(decoder.m_strRevision, "-");

    decoder.DecodeDeviceId("1060", 2, "29", "6");
    decoder.DecodeDeviceId("1061", 2, "1F", "9");
    EXPECT_EQ(decoder.m_strDeviceId, "1061");
    EXPECT_EQ(decoder.m_strRevision, "6");
}

TEST_F(DeviceIdDecoderTest, TheDialogShowsTheTextsUnderTheLanguagesLabels)
{
    CDeviceIdDlg dialog;
    dialog.DecodeDeviceId("1e9306", 3, "", "");
    dialog.OnInitDialog();
    auto text = [&](int id) {
        auto* label = qobject_cast<QLabel*>(dialog.GetDlgItem(id));
        return label ? label->text().toStdString() : std::string("(missing)");
    };
    EXPECT_EQ(text(CDeviceIdDlg::IDC_LABEL_ID), "Device ID(Hex)");
    EXPECT_EQ(text(CDeviceIdDlg::IDC_LABEL_REVISION), "Revision");
    EXPECT_EQ(text(CDeviceIdDlg::IDC_VALUE_ID), "1E9306");
    EXPECT_EQ(text(CDeviceIdDlg::IDC_VALUE_MANUFACTURER), "ATMEL");
    EXPECT_EQ(text(CDeviceIdDlg::IDC_VALUE_TYPE), "ATmega8515");
    EXPECT_EQ(text(CDeviceIdDlg::IDC_VALUE_REVISION), "-");
    auto* group = qobject_cast<QGroupBox*>(dialog.GetDlgItem(CDeviceIdDlg::IDC_GROUP));
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title().toStdString(), "Device ID Information");
    EXPECT_NE(dialog.GetDlgItem(CDeviceIdDlg::IDC_OK), nullptr);
}

} // namespace
