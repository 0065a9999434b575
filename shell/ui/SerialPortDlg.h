#pragma once
// The serial port settings: port, rate, data bits, parity, stop bits and flow control, each the
// index of its drop-down list. Nothing in the program opens it yet.

#include "platform/WinTypes.h"
#include "shell/ui/ShellDialog.h"

class QComboBox;

class CSerialPortDlg : public CShellDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 147;
    static constexpr int IDC_PORT = 1034;
    static constexpr int IDC_RATE = 1021;
    static constexpr int IDC_DATA_BITS = 1022;
    static constexpr int IDC_PARITY = 1023;
    static constexpr int IDC_STOP_BITS = 1024;
    static constexpr int IDC_FLOW_CONTROL = 1025;

    explicit CSerialPortDlg(QWidget* parent = nullptr);

    void accept() override;

    // The defaults read COM1, 38400, 8 data bits, no parity, 1 stop bit, no flow control.
    DWORD m_nFlowControl = 0;
    DWORD m_nDataBits = 4;
    DWORD m_nParity = 0;
    DWORD m_nPort = 0;
    DWORD m_nRate = 8;
    DWORD m_nStopBits = 0;

protected:
    void OnInitDialog() override;

private:
    QComboBox* List(int id) const;
};
