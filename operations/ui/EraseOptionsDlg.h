#pragma once
// The erase options dialog of the PIC classes: what an erase spares, and, on a part with an OSCCAL
// word, the word itself (shown, editable, read again with "Cal. Read") and whether it is written
// back after the erase. Program memory is always erased.

#include "operations/EraseFlow.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CEraseOptionsDlg : public QDialog {
    Q_OBJECT
public:
    struct Setup {
        bool hasOsccal = false;
        bool hasDataMemory = false;
        OsccalWord word {}; // the saved word
        std::uint32_t osccalAddress = 0; // word address
    };
    explicit CEraseOptionsDlg(const Setup& setup, QWidget* parent = nullptr);

    // "Cal. Read": starts a read of the word; `done` gets the word, or nothing when the read
    // failed. `done` may run later, from the GUI thread's event loop; the dialog may be gone by
    // then, which `done` survives.
    using CalReader = std::function<void(std::function<void(std::optional<OsccalWord>)> done)>;
    void SetCalReader(CalReader reader) { m_readCal = std::move(reader); }
    void OnCalRead();
    // A word read shows in the note and the edit.
    void ShowWord(const OsccalWord& word);

    // What OK stores.
    EraseOptionsChoice m_Choice;
    OsccalWord m_Word {};
    std::uint8_t OptionByte() const { return EraseOptionByte(m_Choice); }
    bool KeepOsccal() const { return !m_Choice.restoreOsccal; }

    // OK: an edit that is not 1 to 4 hex digits keeps the dialog open, and so does a Cal. Read
    // still running: the read holds the programmer, so the erase OK starts would be refused.
    void accept() override;

    QCheckBox* EepromBox() const { return m_eeprom; }
    QCheckBox* ConfigBox() const { return m_config; }
    QCheckBox* IdBox() const { return m_id; }
    QCheckBox* RestoreBox() const { return m_restore; }
    QLineEdit* OsccalEdit() const { return m_edit; }
    QLabel* NoteLabel() const { return m_note; }
    QPushButton* CalReadButton() const { return m_calRead; }
    QPushButton* OkButton() const { return m_ok; }

private:
    Setup m_setup;
    CalReader m_readCal;
    QLabel* m_note = nullptr;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_calRead = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_bReading = false;
    QCheckBox* m_eeprom = nullptr;
    QCheckBox* m_config = nullptr;
    QCheckBox* m_id = nullptr;
    QCheckBox* m_restore = nullptr;
};
