#include "operations/ui/ConfigGrid.h"

#include "catalogue/DeviceClass.h"
#include "controls/ui/grid/GridCell.h"
#include "link/LinkLease.h"
#include "platform/TextFormat.h"
#include "platform/ui/GdiShim.h"
#include "shell/Language.h"

namespace {

constexpr int kHeaderTexts[] = { 99, 175, 176, 6 };
constexpr UINT kBodyFormat = DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;
constexpr int kNoEditor = 0;
constexpr int kListEditor = 2;

QString Upper(const std::string& text)
{
    return QString::fromStdString(text).toUpper();
}

} // namespace

CConfigGrid::CConfigGrid()
    : CGridCtrl(0, 0, 0, 0)
{
    SetEditable(TRUE);
    SetToggleBitMode(FALSE);
    SetDragAndDrop(FALSE);
    editsLocked = [] { return g_LinkLease.IsHeld(); };
    SetOwnerHandler([this](GridNotify& notify) {
        // Only a setting cell takes a text: the others show the records.
        if (notify.code == GN_BEGINEDIT
            && (notify.col != kSettingColumn || notify.row < GetFixedRowCount() || (editsLocked && editsLocked())))
            return -1;
        // A setting's text that ends an edit (typed, or pasted with no editor) is a pick of it;
        // one the records do not take stays out of the cell.
        if (notify.code == GN_ENDEDIT && notify.col == kSettingColumn && notify.item) {
            const CGridCellBase* cell = GetCell(notify.row, notify.col);
            const int index = cell ? static_cast<int>(cell->m_Choices.indexOf(notify.item->strText)) : -1;
            return ApplyOnRow(notify.row, index) ? 0 : -1;
        }
        return 0;
    });
}

void CConfigGrid::LoadFromDevice()
{
    m_Description.LoadFromDevice(g_CurrentDevice);
}

void CConfigGrid::SetCell(int row, int col, const QString& text, UINT format, int editorKind)
{
    GRID_ITEM item;
    item.row = row;
    item.col = col;
    item.mask = GI_TEXT | GI_FORMAT;
    item.strText = text;
    item.nFormat = format;
    SetItem(&item);
    if (CGridCellBase* cell = GetCell(row, col)) {
        cell->m_nEditorKind = editorKind;
        // Delete, Cut and Paste reach every cell that is not read-only.
        if (editorKind == kNoEditor)
            cell->SetState(cell->GetState() | GCS_READONLY);
    }
}

void CConfigGrid::FillHeaderRow()
{
    if (GetRowCount() < 1 || GetColumnCount() < kColumns)
        return;
    for (int col = 0; col < kColumns; ++col) {
        const QString text = col < 4 ? QString::fromStdString(g_Language.GetText(kHeaderTexts[col])) : QString();
        SetCell(0, col, text, DT_WORDBREAK, kNoEditor);
    }
}

void CConfigGrid::FillGrid()
{
    DeleteAllItems();
    SetRowCount(CountFieldRows() + 1);
    SetFixedRowCount(1);
    SetColumnCount(kColumns);
    SetFixedColumnCount(0);
    DefaultCellFor(FALSE, FALSE)->SetBackColour(kGridBack);

    FillHeaderRow();
    SetRowHeight(0, kHeaderHeight);

    const CPicConfigInfo* info = g_CurrentDevice.m_pPicConfig.get();
    const bool narrow = info && info->m_nCoreBits < 16;
    const CConfigDescription& records = m_Description;
    const int words = records.WordCount();
    int row = 1;
    for (int w = 0; w < words; ++w) {
        const CFG_WORD_DESC& word = records.Word(w);
        for (int f = 0, fields = CConfigDescription::FieldCount(word); f < fields; ++f, ++row) {
            const CFG_FIELD_DESC& field = word.m_Fields[f];
            SetRowHeight(row, kRowHeight);
            if (f == 0) {
                SetCell(
                    row, kAddressColumn, "0x" + Upper(platform::Format("%x", word.m_nAddress)), kBodyFormat, kNoEditor);
                SetCell(row, kValueColumn,
                    "0x"
                        + Upper(
                            narrow ? platform::Format("%04x", word.m_nValue) : platform::Format("%02x", word.m_nValue)),
                    kBodyFormat, kNoEditor);
            } else {
                SetCell(row, kAddressColumn, " ", kBodyFormat | DT_RIGHT, kNoEditor);
                SetCell(row, kValueColumn, " ", kBodyFormat | DT_RIGHT, kNoEditor);
            }
            SetCell(row, kCategoryColumn, QString::fromStdString(field.m_strDesc), kBodyFormat, kNoEditor);

            // The rule may add free bits to a setting's stored value.
            const int selected = m_Description.SelectedSetting(w, f);
            QStringList choices;
            for (int s = 0, settings = CConfigDescription::SettingCount(field); s < settings; ++s)
                choices << QString::fromStdString(field.m_Settings[s].m_strDesc);
            SetCell(row, kSettingColumn, selected >= 0 ? choices[selected] : QString(), kBodyFormat, kListEditor);
            SetItemBkColour(row, kSettingColumn, kSettingBack);
            if (CGridCellBase* cell = GetCell(row, kSettingColumn))
                cell->m_Choices = choices;

            SetCell(row, 4, " ", kBodyFormat | DT_RIGHT, kNoEditor);
        }
    }
    AutoSize();
    Refresh();
}

BOOL CConfigGrid::OnSelectionChanged(int index)
{
    OnGridClick(index);
    return TRUE;
}

void CConfigGrid::OnGridClick(int index)
{
    ApplyOnRow(GetFocusCell().row, index);
}

bool CConfigGrid::ApplyOnRow(int row, int index)
{
    int w = 0;
    int f = 0;
    if (!m_Description.FieldAtRow(row, w, f))
        return false;
    if (!m_Description.ApplySetting(w, f, index, g_CurrentDevice.m_pPicConfig.get()))
        return false;
    // The word's value shows on its first field's row.
    const CConfigDescription& records = m_Description;
    SetItemText(row - f, kValueColumn, "0x" + Upper(platform::Format("%02x", records.Word(w).m_nValue)));
    Refresh();
    if (onWordsChanged)
        onWordsChanged();
    return true;
}

BOOL CConfigGrid::ValidateCellText(int row, int col, const QString& text)
{
    if (col != kSettingColumn || row < GetFixedRowCount())
        return TRUE;
    const CGridCellBase* cell = GetCell(row, col);
    return cell && cell->m_Choices.contains(text) ? TRUE : FALSE;
}
