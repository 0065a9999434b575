#include "shell/ui/SerialPortDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

struct ListShape {
    int id;
    const char* label;
    std::initializer_list<const char*> entries;
};
const ListShape kLists[] = {
    { CSerialPortDlg::IDC_PORT, "Port:", { "COM1", "COM2", "COM3", "COM4" } },
    { CSerialPortDlg::IDC_RATE, "Baud Rate:",
        { "110", "300", "1200", "2400", "4800", "9600", "19200", "28800", "38400", "57600", "115200", "230400",
            "460800", "921600" } },
    { CSerialPortDlg::IDC_DATA_BITS, "Data Bits:", { "4", "5", "6", "7", "8" } },
    { CSerialPortDlg::IDC_PARITY, "Parity:", { "None", "Even", "Odd", "Mark", "Space" } },
    { CSerialPortDlg::IDC_STOP_BITS, "Stop Bits:", { "1", "2" } },
    { CSerialPortDlg::IDC_FLOW_CONTROL, "Flow Control:", { "None", "Xon/Xoff", "Hardware" } },
};

} // namespace

CSerialPortDlg::CSerialPortDlg(QWidget* parent)
    : CShellDialog(IDD, "Serial Port Setting", { 186, 197 }, parent)
{
    auto* form = new QFormLayout;
    for (const ListShape& plan : kLists) {
        auto* list = Named(new QComboBox(this), plan.id);
        for (const char* entry : plan.entries)
            list->addItem(entry);
        form->addRow(new QLabel(plan.label, this), list);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSerialPortDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSerialPortDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addWidget(buttons);
}

QComboBox* CSerialPortDlg::List(int id) const
{
    return findChild<QComboBox*>(QString::number(id));
}

void CSerialPortDlg::OnInitDialog()
{
    const std::pair<int, DWORD> indexes[] = { { IDC_PORT, m_nPort }, { IDC_RATE, m_nRate },
        { IDC_DATA_BITS, m_nDataBits }, { IDC_PARITY, m_nParity }, { IDC_STOP_BITS, m_nStopBits },
        { IDC_FLOW_CONTROL, m_nFlowControl } };
    for (const auto& [id, index] : indexes) {
        QComboBox* list = List(id);
        // An index beyond the list selects nothing, as a drop-down list does.
        list->setCurrentIndex(index < static_cast<DWORD>(list->count()) ? static_cast<int>(index) : -1);
    }
}

void CSerialPortDlg::accept()
{
    // A list with nothing selected stores -1, as its index reads.
    const auto index = [this](int id) { return static_cast<DWORD>(List(id)->currentIndex()); };
    m_nPort = index(IDC_PORT);
    m_nRate = index(IDC_RATE);
    m_nDataBits = index(IDC_DATA_BITS);
    m_nParity = index(IDC_PARITY);
    m_nStopBits = index(IDC_STOP_BITS);
    m_nFlowControl = index(IDC_FLOW_CONTROL);
    QDialog::accept();
}
