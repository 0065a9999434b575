#pragma once
// The Set CFG bits dialogs: a bit grid per value (a PIC's configuration words, an AVR's fuse
// bytes, a serial EEPROM's address pins) with the value beside it, OK and Cancel. The dialog
// only edits its ChipBits; what OK writes is its owner's (`onOk`).

#include "operations/ChipBits.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class CGridCtrl;
class QLabel;
class QPushButton;

class CChipBitsDlg : public QDialog {
    Q_OBJECT
public:
    CChipBitsDlg(ChipBits bits, const std::string& deviceName, QWidget* parent = nullptr);

    ChipBits& Bits() { return m_bits; }
    CGridCtrl* Grid(int value) const { return m_grids[static_cast<std::size_t>(value)]; }
    QLabel* ValueLabel(int value) const { return m_valueLabels[static_cast<std::size_t>(value)]; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }

    // While an exchange runs the buttons wait and no bit changes.
    void SetBusy(bool busy);
    bool Busy() const { return m_bBusy; }
    // True once OK changed the chip.
    bool ChipChanged() const { return m_bChanged; }
    void CloseChanged()
    {
        m_bChanged = true;
        accept();
    }
    // A lost link: closes, nothing changed.
    void CloseUnchanged()
    {
        SetBusy(false);
        QDialog::reject();
    }

    // OK with something toggled; the owner writes and closes the dialog when it is done.
    std::function<void(CChipBitsDlg&)> onOk;

    // Cancel and the close button; nothing while an exchange runs.
    void reject() override;

private:
    void ReadBack(int value);
    void OnOk();

    ChipBits m_bits;
    std::vector<CGridCtrl*> m_grids;
    std::vector<QLabel*> m_valueLabels;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    bool m_bBusy = false;
    bool m_bChanged = false;
};

class CConfigWordDlg final : public CChipBitsDlg {
    Q_OBJECT
public:
    using CChipBitsDlg::CChipBitsDlg;
};
class CAvrFuseDlg final : public CChipBitsDlg {
    Q_OBJECT
public:
    using CChipBitsDlg::CChipBitsDlg;
};
class CEepromAddressDlg final : public CChipBitsDlg {
    Q_OBJECT
public:
    using CChipBitsDlg::CChipBitsDlg;
};
