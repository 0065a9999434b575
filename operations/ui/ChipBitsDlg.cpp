#include "operations/ui/ChipBitsDlg.h"

#include "controls/ui/grid/GridCtrl.h"
#include "shell/Language.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kTextOk = 46;
constexpr int kTextCancel = 47;
constexpr int kTextAvrCaption = 153;
constexpr int kTextCurrentDevice = 155;
constexpr int kTextStandardWord = 147;
constexpr int kTextConfigCaption = 174;
constexpr const char* kEepromCaption = "EEPROM Address";

QString Text(int id)
{
    return QString::fromStdString(g_Language.GetText(id));
}

QString CaptionOf(ChipBits::Kind kind)
{
    switch (kind) {
    case ChipBits::Kind::Configuration:
        return Text(kTextConfigCaption);
    case ChipBits::Kind::AvrFuse:
        return Text(kTextAvrCaption);
    case ChipBits::Kind::EepromAddress:
        break;
    }
    return kEepromCaption;
}

// A bit grid: one click on a bit flips it, also when the focus was elsewhere (the grid itself
// flips only the bit that already had the focus).
class CBitGrid final : public CGridCtrl {
public:
    using CGridCtrl::CGridCtrl;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        m_focusBefore = GetFocusCell();
        m_pressed = event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier;
        CGridCtrl::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        CGridCtrl::mouseReleaseEvent(event);
        if (!m_pressed || event->button() != Qt::LeftButton)
            return;
        m_pressed = false;
        const QPoint at = event->position().toPoint();
        const CGridCellPos cell = GetCellFromPt(at, FALSE);
        if (IsValid(cell) && !(cell == m_focusBefore) && cell == GetFocusCell())
            BeginCellEdit(cell.row, cell.col, at, GridEditStart::Key(GRID_KEY_MOUSE));
    }

private:
    CGridCellPos m_focusBefore;
    bool m_pressed = false;
};

void SetCell(CGridCtrl& grid, int row, int col, const QString& text, UINT state)
{
    GRID_ITEM item;
    item.row = row;
    item.col = col;
    item.mask = GI_TEXT | GI_STATE;
    item.strText = text;
    item.nState = state;
    grid.SetItem(&item);
}

} // namespace

CChipBitsDlg::CChipBitsDlg(ChipBits bits, const std::string& deviceName, QWidget* parent)
    : QDialog(parent)
    , m_bits(std::move(bits))
{
    setWindowTitle(CaptionOf(m_bits.GetKind()));
    auto* layout = new QVBoxLayout(this);
    auto* device = new QHBoxLayout;
    device->addWidget(new QLabel(Text(kTextCurrentDevice), this));
    device->addWidget(new QLabel(QString::fromStdString(deviceName), this), 1);
    layout->addLayout(device);
    if (m_bits.GetKind() == ChipBits::Kind::Configuration)
        layout->addWidget(new QLabel(Text(kTextStandardWord), this));

    auto* values = new QGridLayout;
    for (int v = 0; v < static_cast<int>(m_bits.Values().size()); ++v) {
        const ChipBitValue& value = m_bits.Values()[static_cast<std::size_t>(v)];
        CGridCtrl* grid = new CBitGrid(2, value.width + 1, 1, 1);
        grid->Create(QRect(), this, static_cast<UINT>(1000 + v));
        grid->SetEditable(TRUE);
        grid->SetDragAndDrop(TRUE);
        grid->SetToggleBitMode(TRUE);
        SetCell(*grid, 1, 0, QString::fromStdString(value.name), 0);
        for (int c = 0; c < value.width; ++c) {
            SetCell(*grid, 0, c + 1, QString::fromStdString(value.bitNames[static_cast<std::size_t>(c)]), 0);
            SetCell(*grid, 1, c + 1, value.BitSet(c) ? "1" : "0",
                value.editable[static_cast<std::size_t>(c)] ? 0 : GCS_READONLY);
        }
        grid->AutoSize(0);
        // The grid is as large as its cells: no scroll bar, no grey area.
        const int frame = 2 * grid->frameWidth();
        grid->setFixedSize(grid->GetVirtualWidth() + frame, grid->GetVirtualHeight() + frame);
        grid->Refresh();
        // A drop or paste may bring any text: only "1" and "0" stand; nothing while writing.
        grid->SetOwnerHandler([this, v](GridNotify& notify) {
            if (notify.code == GN_BEGINEDIT && m_bBusy)
                return -1;
            if (notify.code == GN_ENDEDIT) {
                // A typed, pasted or dropped text: the bit takes it, or the cell keeps its own.
                const QString text = notify.item ? notify.item->strText : QString();
                if (m_bBusy || notify.row != 1 || !m_bits.SetBitText(v, notify.col - 1, text.toStdString()))
                    return -1;
                m_valueLabels[static_cast<std::size_t>(v)]->setText(QString::fromStdString(m_bits.ValueText(v)));
            }
            return 0;
        });
        connect(grid, &CGridCtrl::bitsToggled, this, [this, v] { ReadBack(v); });
        auto* label = new QLabel(QString::fromStdString(m_bits.ValueText(v)), this);
        values->addWidget(grid, v, 0);
        values->addWidget(label, v, 1);
        m_grids.push_back(grid);
        m_valueLabels.push_back(label);
    }
    layout->addLayout(values);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_ok = new QPushButton(Text(kTextOk), this);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(Text(kTextCancel), this);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    connect(m_ok, &QPushButton::clicked, this, &CChipBitsDlg::OnOk);
    connect(m_cancel, &QPushButton::clicked, this, &CChipBitsDlg::reject);
}

void CChipBitsDlg::ReadBack(int v)
{
    CGridCtrl* grid = m_grids[static_cast<std::size_t>(v)];
    ChipBitValue& value = m_bits.Values()[static_cast<std::size_t>(v)];
    for (int c = 0; c < value.width; ++c) {
        const std::string text = grid->GetItemText(1, c + 1).toStdString();
        if (!m_bits.SetBitText(v, c, text)) {
            // A read-only bit, or a text that is no bit: the cell shows the value again.
            const QString shown = value.BitSet(c) ? "1" : "0";
            if (grid->GetItemText(1, c + 1) != shown)
                grid->SetItemText(1, c + 1, shown);
        }
    }
    grid->Refresh();
    m_valueLabels[static_cast<std::size_t>(v)]->setText(QString::fromStdString(m_bits.ValueText(v)));
}

void CChipBitsDlg::SetBusy(bool busy)
{
    m_bBusy = busy;
    m_ok->setEnabled(!busy);
    m_cancel->setEnabled(!busy);
}

void CChipBitsDlg::OnOk()
{
    if (m_bBusy)
        return;
    for (int v = 0; v < static_cast<int>(m_grids.size()); ++v)
        ReadBack(v);
    if (!m_bits.Changed() || !onOk) {
        accept();
        return;
    }
    onOk(*this);
}

void CChipBitsDlg::reject()
{
    // The close button waits for a running exchange like Cancel does.
    if (m_bBusy)
        return;
    QDialog::reject();
}
