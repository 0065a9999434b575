#include "shell/MenuTable.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

const std::map<UINT, const char*>& Prompts()
{
    static const std::map<UINT, const char*> prompts {
        { 57600, "Start again with an empty document\nNew" },
        { 57601, "Open a data file into the buffer\nOpen" },
        { 57603, "Save the buffer to a file\nSave" },
        { 57604, "Save the buffer to a new file\nSave As" },
        { 57606, "Choose the printer and the page\nPrint Setup" },
        { 57607, "Print the buffer\nPrint" },
        { 57609, "Show the printed pages\nPrint Preview" },
        { 57634, "Copy the selection to the clipboard\nCopy" },
        { 57635, "Move the selection to the clipboard\nCut" },
        { 57637, "Insert the clipboard's contents\nPaste" },
        { 57643, "Undo the last change\nUndo" },
        { 57664, "Show the program's version and its maker\nAbout" },
        { 57665, "Quit the program\nExit" },
        { 57680, "Move to the next pane\nNext Pane" },
        { 57681, "Move to the previous pane\nPrevious Pane" },
        { 59392, "Show or hide the toolbar\nToolbar" },
        { 59393, "Show or hide the status bar\nStatus Bar" },
        { 32772, "Write the buffer to the device\nWrite" },
        { 32773, "Read data from device\nRead" },
        { 32774, "Erase the device\nErase" },
        { 32775, "Compare the device with the buffer\nVerify" },
        { 32776, "Lock or unlock the device\nLock/Unlock" },
        { 32777, "Read the device's signature ID\nSignature ID" },
        { 32778, "Check that the device is blank\nBlank check" },
        { 32782, "Run the chosen operations one after the other\nBatch Run" },
        { 32811, "Fill the buffer with 0xFF\nFill buffer with 0xFF" },
        { 32900, "Set the device's configuration bits\nConfig device" },
        { 32918, "Swap the bytes of every 16-bit word in the buffer\nBuffer Byte Swap" },
        { 32920, "Swap the bytes of every 16-bit word in the buffer\nByte Swap" },
        { 32922, "Start the calculator\nCalculator" },
        { 32945, "Choose the device from the device list\nDevice List" },
        { 32946, "Choose the device to program\nSelect Device" },
    };
    return prompts;
}

// Commands that no menu item names.
const std::map<UINT, const char*>& OtherTexts()
{
    static const std::map<UINT, const char*> texts {
        { 57600, "&New\tCtrl+N" },
        { 57643, "&Undo\tCtrl+Z" },
        { 57680, "Next Pane\tF6" },
        { 57681, "Previous Pane\tShift+F6" },
        { 32772, "Write" },
        { 32773, "Read" },
        { 32774, "Erase" },
        { 32775, "Verify" },
        { 32776, "Lock/Unlock" },
        { 32777, "Signature ID" },
        { 32778, "Blank check" },
        { 32782, "Batch Run" },
        { 32811, "Fill buffer with 0xFF" },
        { 32900, "Config device" },
        { 32920, "Byte Swap" },
        { 32922, "Calculator" },
        { 32946, "Select Device" },
        { 32977, "8/16-bit display" },
    };
    return texts;
}

std::string Trim(std::string s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

} // namespace

const std::vector<MenuPopupDef>& MainMenuTable()
{
    static const std::vector<MenuPopupDef> menu {
        { "&File",
            { { 32824, "&Load Extended Algorithm" }, { 0, nullptr }, { 32979, "Load C&PLD " }, { 0, nullptr },
                { 57601, "&Open...\tCtrl+O" }, { 57603, "&Save\tCtrl+S" }, { 57604, "Save &As..." }, { 0, nullptr },
                { 32967, "&New Script" }, { 32964, "Open Scrip&t" }, { 32965, "Save S&cript" },
                { 32966, "Sa&ve Script As..." }, { 32968, "&Close Script" }, { 0, nullptr },
                { 32960, "Split 16Bit &Buffer To Files..." }, { 32970, "Combine Files To Buffer..." }, { 0, nullptr },
                { 57607, "&Print...\tCtrl+P" }, { 57609, "Print Pre&view" }, { 57606, "P&rint Setup..." },
                { 0, nullptr }, { 57616, "Recent File" }, { 0, nullptr }, { 57665, "E&xit" } } },
        { "&Edit",
            { { 32947, "&Find\tCtrl+F" }, { 32948, "Find &Next\t\tF3" }, { 32812, "Fill Buffer(&Hex)\tCtrl+H" },
                { 0, nullptr }, { 57634, "&Copy\tCtrl+C" }, { 57637, "&Paste\tCtrl+V" }, { 57635, "Cu&t\tCtrl+X" } } },
        { "&View", { { 59392, "&Toolbar" }, { 59393, "&Status Bar" } } },
        { "Devices",
            { { 32945, "Device List\tCtrl+D" }, { 0, nullptr }, { 32974, "New Device Request" }, { 0, nullptr },
                { 32976, "User Folder" }, { 0, nullptr } } },
        { "Commands",
            { { 32803, "&Read\tCtrl+R" }, { 32804, "Write\tCtrl+W" }, { 32805, "&Blank Check\tCtrl+B" },
                { 32806, "&Erase\tCtrl+E" }, { 32807, "Get &ID\tCtrl+I" }, { 32808, "Verif&y\tCtrl+Y" },
                { 32809, "&Lock\tCtrl+L" }, { 32918, "B&uffer Byte Swap\tCtrl+U" }, { 32896, "Read Da&ta\tCtrl+T" },
                { 32978, "Write Data" }, { 0, nullptr }, { 32962, "Run &Script\tF5" },
                { 32963, "Stop Script\tEsc" } } },
        { "Tools",
            { { 0, nullptr }, { 32949, "&Detect Hardware" }, { 0, nullptr }, { 32826, "Test H/W" }, { 0, nullptr },
                { 32923, "Test H/W Voltage" }, { 0, nullptr }, { 32952, "Warranty Register" }, { 0, nullptr },
                { 32975, "New Chip Support Request" }, { 0, nullptr } } },
        { "Setting", { { 32958, "Language" }, { 32959, "Background Color" }, { 32969, "Font" }, { 32971, "Others" } } },
        { "&Help", { { 32951, "&Help" }, { 32950, "Supported &List" }, { 57664, "&About Tonrig..." } } },
    };
    return menu;
}

const std::vector<AcceleratorDef>& AcceleratorTable()
{
    static const std::vector<AcceleratorDef> table {
        { "Ctrl+B", 32805 },
        { "Ctrl+C", 57634 },
        { "Ctrl+D", 32945 },
        { "Ctrl+E", 32806 },
        { "Ctrl+F", 32947 },
        { "Ctrl+H", 32812 },
        { "Ctrl+I", 32807 },
        { "Ctrl+L", 32809 },
        { "Ctrl+N", 57600 },
        { "Ctrl+O", 57601 },
        { "Ctrl+P", 57607 },
        { "Ctrl+R", 32803 },
        { "Ctrl+S", 57603 },
        { "Ctrl+T", 32896 },
        { "Ctrl+U", 32918 },
        { "Ctrl+V", 57637 },
        { "Ctrl+W", 32804 },
        { "Ctrl+X", 57635 },
        { "Ctrl+Y", 32808 },
        { "Ctrl+Z", 57643 },
        { "Alt+Backspace", 57643 },
        { "Shift+Del", 57635 },
        { "Ctrl+Ins", 57634 },
        { "Shift+Ins", 57637 },
        { "Esc", 32963 },
        { "F3", 32948 },
        { "F5", 32962 },
        { "F6", 57680 },
        { "Shift+F6", 57681 },
    };
    return table;
}

const std::vector<UINT>& ToolbarTable()
{
    static const std::vector<UINT> buttons { 57601, 57603, 0, 32946, 32773, 32775, 32777, 32900, 32920, 0, 32977, 32922,
        32811, 0, 32774, 32778, 0, 32772, 32776, 0, 32782, 32962, 32963, 32951 };
    return buttons;
}

std::string CommandPrompt(UINT id)
{
    if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_FILE9)
        return "Open this file";
    auto it = Prompts().find(id);
    if (it == Prompts().end())
        return {};
    std::string text = it->second;
    return text.substr(0, text.find('\n'));
}

std::string CommandTooltip(UINT id)
{
    auto it = Prompts().find(id);
    if (it == Prompts().end())
        return {};
    std::string text = it->second;
    const auto nl = text.find('\n');
    return nl == std::string::npos ? std::string() : text.substr(nl + 1);
}

std::string CommandText(UINT id)
{
    for (const MenuPopupDef& popup : MainMenuTable())
        for (const MenuItemDef& item : popup.items)
            if (item.id == id)
                return item.text;
    auto it = OtherTexts().find(id);
    return it == OtherTexts().end() ? std::string() : std::string(it->second);
}

std::vector<std::string> CommandShortcuts(UINT id)
{
    std::vector<std::string> keys;
    const std::string text = CommandText(id);
    if (const auto tab = text.find('\t'); tab != std::string::npos) {
        std::string shown = Trim(text.substr(tab + 1));
        if (!shown.empty())
            keys.push_back(shown);
    }
    for (const AcceleratorDef& acc : AcceleratorTable())
        if (acc.id == id && std::find(keys.begin(), keys.end(), acc.key) == keys.end())
            keys.push_back(acc.key);
    return keys;
}

std::vector<UINT> AllCommandIds()
{
    std::set<UINT> ids;
    for (const MenuPopupDef& popup : MainMenuTable())
        for (const MenuItemDef& item : popup.items)
            if (item.id)
                ids.insert(item.id);
    for (const AcceleratorDef& acc : AcceleratorTable())
        ids.insert(acc.id);
    for (UINT id : ToolbarTable())
        if (id)
            ids.insert(id);
    for (UINT id = ID_FILE_MRU_FILE1; id <= ID_FILE_MRU_FILE9; ++id)
        ids.insert(id);
    return { ids.begin(), ids.end() };
}
