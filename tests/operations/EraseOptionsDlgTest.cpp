// The erase options dialog: the word as it shows and as OK takes it, the boxes' option byte, and
// "Cal. Read" answering later, or after the dialog is gone.

#include "operations/ui/EraseOptionsDlg.h"

#include "LanguageFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

class EraseOptionsDlg : public BuiltInTexts {
protected:
    CEraseOptionsDlg::Setup Osccal()
    {
        CEraseOptionsDlg::Setup setup;
        setup.hasOsccal = true;
        setup.hasDataMemory = true;
        setup.word = { 0x34, 0x80 };
        setup.osccalAddress = 0x3FF;
        return setup;
    }
};

TEST_F(EraseOptionsDlg, ShowsTheWordAndTakesTheEditAndBoxesOnOk)
{
    CEraseOptionsDlg dialog(Osccal());
    EXPECT_EQ(dialog.windowTitle().toStdString(), "Device Erase Options");
    EXPECT_EQ(dialog.NoteLabel()->text().toStdString(), "0x3480 at address 0x03ff");
    EXPECT_EQ(dialog.OsccalEdit()->text().toStdString(), "3480");
    for (QCheckBox* box : { dialog.EepromBox(), dialog.ConfigBox(), dialog.IdBox(), dialog.RestoreBox() }) {
        EXPECT_TRUE(box->isChecked());
        EXPECT_TRUE(box->isEnabled());
    }

    dialog.OsccalEdit()->setText("3c4");
    dialog.EepromBox()->setChecked(false);
    dialog.IdBox()->setChecked(false);
    dialog.RestoreBox()->setChecked(false);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.m_Word, (OsccalWord { 0x03, 0xC4 }));
    EXPECT_EQ(dialog.OptionByte(), kEraseSpareEeprom | kEraseSpareId);
    EXPECT_TRUE(dialog.KeepOsccal());
}

TEST_F(EraseOptionsDlg, AnEditThatIsNoWordKeepsTheDialogOpen)
{
    for (const char* text : { "", "12345", "zz" }) {
        SCOPED_TRACE(text);
        CEraseOptionsDlg dialog(Osccal());
        dialog.show();
        // The validator would refuse some of these as typed; a paste or a program sets them.
        dialog.OsccalEdit()->setValidator(nullptr);
        dialog.OsccalEdit()->setText(text);
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.m_Word, (OsccalWord { 0x34, 0x80 })) << "the saved word stays";
    }
}

TEST_F(EraseOptionsDlg, WithoutOsccalOrDataMemoryTheirBoxesAreGreyAndSpareNothing)
{
    CEraseOptionsDlg::Setup setup;
    CEraseOptionsDlg dialog(setup);
    EXPECT_FALSE(dialog.EepromBox()->isEnabled());
    EXPECT_FALSE(dialog.RestoreBox()->isEnabled());
    EXPECT_FALSE(dialog.OsccalEdit()->isVisibleTo(&dialog));
    dialog.ConfigBox()->setChecked(false);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.OptionByte(), kEraseSpareConfig);
    EXPECT_FALSE(dialog.KeepOsccal());
}

TEST_F(EraseOptionsDlg, CalReadShowsTheWordWhenItComes)
{
    std::function<void(std::optional<OsccalWord>)> pending;
    auto dialog = std::make_unique<CEraseOptionsDlg>(Osccal());
    dialog->SetCalReader([&](std::function<void(std::optional<OsccalWord>)> done) { pending = std::move(done); });

    dialog->CalReadButton()->click();
    ASSERT_TRUE(pending);
    EXPECT_FALSE(dialog->CalReadButton()->isEnabled()) << "one read at a time";
    // The read holds the programmer: an OK now would start an erase that is refused.
    EXPECT_FALSE(dialog->OkButton()->isEnabled());
    dialog->show();
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_NE(dialog->result(), QDialog::Accepted);
    pending(OsccalWord { 0x34, 0x7C });
    EXPECT_TRUE(dialog->CalReadButton()->isEnabled());
    EXPECT_TRUE(dialog->OkButton()->isEnabled());
    EXPECT_EQ(dialog->OsccalEdit()->text().toStdString(), "347c");
    EXPECT_EQ(dialog->NoteLabel()->text().toStdString(), "0x347c at address 0x03ff");

    // A failed read changes nothing.
    dialog->CalReadButton()->click();
    pending(std::nullopt);
    EXPECT_EQ(dialog->OsccalEdit()->text().toStdString(), "347c");
    EXPECT_TRUE(dialog->OkButton()->isEnabled()) << "a failed read gives OK back too";

    // An answer after the dialog closed reaches nothing.
    dialog->CalReadButton()->click();
    dialog.reset();
    pending(OsccalWord { 0x00, 0x00 });
}

} // namespace
