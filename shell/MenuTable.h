#pragma once
// The main window's commands as data: menu 128 with its pop-ups, the accelerator table 128,
// toolbar 128 and the status prompts ("prompt\ntooltip") of the commands. The frame builds its
// menu, toolbar and shortcuts from these tables through the command table.

#include "platform/WinTypes.h"

#include <string>
#include <vector>

// Command ids of the framework that the shell handles itself.
constexpr UINT ID_FILE_NEW = 57600;
constexpr UINT ID_FILE_OPEN = 57601;
constexpr UINT ID_FILE_SAVE = 57603;
constexpr UINT ID_FILE_SAVE_AS = 57604;
constexpr UINT ID_FILE_PRINT_SETUP = 57606;
constexpr UINT ID_FILE_MRU_FILE1 = 57616;
constexpr UINT ID_FILE_MRU_FILE9 = 57624;
constexpr UINT ID_APP_ABOUT = 57664;
constexpr UINT ID_APP_EXIT = 57665;
constexpr UINT ID_NEXT_PANE = 57680;
constexpr UINT ID_PREV_PANE = 57681;
constexpr UINT ID_VIEW_TOOLBAR = 59392;
constexpr UINT ID_VIEW_STATUS_BAR = 59393;
constexpr UINT ID_DEVICE_LIST = 32945;
constexpr UINT ID_SELECT_DEVICE = 32946;

struct MenuItemDef {
    UINT id; // 0: a separator
    const char* text; // '&' marks the mnemonic; after a tab, the shortcut as shown
};

struct MenuPopupDef {
    const char* title;
    std::vector<MenuItemDef> items;
};

struct AcceleratorDef {
    const char* key; // QKeySequence text
    UINT id;
};

const std::vector<MenuPopupDef>& MainMenuTable();
const std::vector<AcceleratorDef>& AcceleratorTable();
// The toolbar's commands in order; 0 stands for a separator.
const std::vector<UINT>& ToolbarTable();

// The status prompt of a greyed command that nothing in the program handles.
inline constexpr const char* kCommandNotAvailablePrompt = "Not available in this program";

// The status prompt of a command (the part before "\n") and its tooltip (after), both empty
// when the command has none.
std::string CommandPrompt(UINT id);
std::string CommandTooltip(UINT id);
// The text of a command as the menu or the toolbar names it; empty for an unknown id.
std::string CommandText(UINT id);
// Every shortcut of a command: the one its menu text shows first, then the others of the
// accelerator table.
std::vector<std::string> CommandShortcuts(UINT id);
// Every command id the tables name, sorted.
std::vector<UINT> AllCommandIds();
