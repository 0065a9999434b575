#pragma once
// The configuration-bit grid of the view's Buffer tab: one row per bit field of a PIC's
// configuration words (from its description file), the field's named settings in a drop-down
// list. A pick changes the word record and the current device's configuration bytes; nothing
// reaches the programmer before a write.

#include "catalogue/ConfigDescription.h"
#include "controls/ui/grid/GridCtrl.h"

#include <functional>
#include <string>
#include <string_view>

class CConfigGrid final : public CGridCtrl {
    Q_OBJECT
public:
    static constexpr int kColumns = 5;
    static constexpr int kAddressColumn = 0;
    static constexpr int kValueColumn = 1;
    static constexpr int kCategoryColumn = 2;
    static constexpr int kSettingColumn = 3;
    static constexpr int kHeaderHeight = 27;
    static constexpr int kRowHeight = 25;
    static constexpr COLORREF kGridBack = 0xE0E0E0;
    static constexpr COLORREF kSettingBack = 0xFFFFFF;

    CConfigGrid();

    CConfigDescription& Description() { return m_Description; }
    const CConfigDescription& Description() const { return m_Description; }

    void ResetRecords() { m_Description.ResetRecords(); }
    bool LoadDeviceFile(CDeviceClass& device) { return m_Description.LoadDeviceFile(device); }
    static bool ReadTextLine(
        std::string_view text, std::size_t& position, std::string& line, std::size_t length, bool& tooLong)
    {
        return CConfigDescription::ReadTextLine(text, position, line, length, tooLong);
    }
    const std::string& ExtractValue(const std::string& key, const std::string& line, char delimiter)
    {
        return m_Description.ExtractValue(key, line, delimiter);
    }
    int CountFieldRows() const { return m_Description.CountFieldRows(); }
    // The words' values from the current device's configuration bytes; the grid shows them at
    // the next FillGrid.
    void LoadFromDevice();

    // Rebuilds the whole grid from the records.
    void FillGrid();
    // Rewrites the header row's texts (a language change).
    void FillHeaderRow();
    // Applies setting `index` of the field on the focus cell's row.
    void OnGridClick(int index);

    // Called after a pick changed the current device's words.
    std::function<void()> onWordsChanged;
    // While true no editor opens (an operation reads the bytes); default: the link lease is held.
    std::function<bool()> editsLocked;

    // A pick in a setting cell's list.
    BOOL OnSelectionChanged(int index) override;
    // A setting cell takes only one of its choices.
    BOOL ValidateCellText(int row, int col, const QString& text) override;

private:
    // Applies setting `index` of the field on grid row `row`; false when there is none.
    bool ApplyOnRow(int row, int index);
    void SetCell(int row, int col, const QString& text, UINT format, int editorKind);
    CConfigDescription m_Description;
};
