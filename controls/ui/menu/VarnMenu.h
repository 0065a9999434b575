#pragma once
// The program's owner-drawn menu. Every popup of a menu tree is a VarnMenu that keeps one record
// per item (text, flags, command, image) in position order. Command items are the command
// table's shared actions, so a record is found by (menu, action) and nothing is stored on the
// action; a popup's "handle" is its VarnMenu. Images are held per command in one shared list.

#include "platform/Colour.h"
#include "platform/WinTypes.h"
#include "platform/ui/GdiShim.h"
#include "platform/ui/ImageList.h"

#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPainter;
class QPixmap;
class QStyleOptionMenuItem;
class QToolBar;
class VarnMenu;

// Menu flags, with the system's values.
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_END = 0x0080;
constexpr UINT MF_OWNERDRAW = 0x0100;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;

struct VarnMenuItemRecord {
    QString m_pszText; // label, "&" mnemonic, optional tab and accelerator text
    int m_nImageIndex = -1;
    int m_nGlobalImage = -1;
    int m_nImageResource = -1;
    UINT m_nFlags = 0;
    UINT m_nCommand = 0; // the action's command id; 0 for separators and popups
    BOOL m_bMatched = FALSE;
    std::unique_ptr<ImageList> m_pImages;

    QPointer<QAction> m_pAction;
    QPointer<VarnMenu> m_pPopup; // a popup item's handle
    QString m_notedMenuString; // the action's menu string when the record last took it

    void SetText(const QString& text) { m_pszText = text; }
    QString GetText() const { return m_pszText; }
};

// Item state bits of a draw record.
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_GRAYED = 0x0002;
constexpr UINT ODS_CHECKED = 0x0008;

// What the style asks of an item's size: the record in, width and height out.
struct VarnMenuMeasureRecord {
    VarnMenuItemRecord* itemData = nullptr;
    UINT itemWidth = 0;
    UINT itemHeight = 0;
};

// What the style hands over to draw an item.
struct VarnMenuDrawRecord {
    VarnMenuItemRecord* itemData = nullptr;
    UINT itemState = 0; // ODS_ bits
    bool radio = false; // a checked action of an exclusive group: a dot, not a tick
    QPainter* painter = nullptr;
    WinRect rcItem;
};

// One item of a menu template, in resource order.
struct MenuTemplateItem {
    UINT option = 0; // MF_POPUP, MF_END, MF_SEPARATOR
    UINT command = 0; // 0 for popups and separators
    QString text;
};

// Class-wide state, shared by every menu.
extern std::vector<VarnMenu*> g_VarnMenuPopups;
extern ImageList g_VarnMenuImages;
extern std::vector<UINT> g_VarnMenuImageCommands;
extern int g_nVarnMenuImageWidth;
extern int g_nVarnMenuImageHeight;
extern int g_nWindowsVersionClass;
extern int g_nVarnMenuDrawModeThemed;
extern int g_nVarnMenuDrawModeOther;
extern BOOL g_bVarnMenuPlainBitmaps;

// The Windows version class the looks are chosen by: always 1 (an NT-family system) here.
int GetWindowsVersionClass();
// TRUE when the stored theme name ends in "Windows Classic.theme"; read once.
BOOL IsClassicThemeActive();
void ResetClassicThemeCache();

class VarnMenu : public QMenu {
    Q_OBJECT
public:
    explicit VarnMenu(QWidget* parent = nullptr);
    ~VarnMenu() override;

    // ---- class-wide -----------------------------------------------------------------------
    static void SelectDrawStyle(int mode);
    static void SetImageSize(int width, int height);
    static BOOL IsOwnMenu(const VarnMenu* menu);
    static BOOL IsOwnMenu(const QMenu* handle);
    static void PrepareSubMenus(VarnMenu* menu);
    // The WM_MENUCHAR answer: low word the item's position, high word 2 (run it); 0 for none.
    static LRESULT FindShortcutKey(QChar character, UINT flags, VarnMenu* menu);
    static bool IsThemedXP();
    static int ActiveDrawMode();
    static bool IsXPStyle() { return ActiveDrawMode() == 1; }
    static bool IsNewShell() { return g_nWindowsVersionClass > 1; }

    // Menu templates by number and by name; `controls/` knows no program table.
    static void RegisterMenuTemplate(int id, std::vector<MenuTemplateItem> items);
    static void RegisterMenuTemplate(const QString& name, std::vector<MenuTemplateItem> items);
    // Toolbar resources: commands in button order, 0 a separator.
    static void RegisterToolbarResource(int id, std::vector<UINT> commands);
    // Where command items get their actions (the command table's); without one, or when it
    // has none for a command, the menu makes an action of its own.
    static void SetCommandActions(std::function<QAction*(UINT)> actions);
    // Replaces the menu font's text measure of AlignAccelerators; empty restores it.
    static void SetTextMeasure(std::function<int(const QString&)> measure);

    // ---- measuring and drawing --------------------------------------------------------------
    virtual void MeasureItem(VarnMenuMeasureRecord& measure);
    virtual void DrawItem(VarnMenuDrawRecord& draw);
    void DrawItemXPStyle(VarnMenuDrawRecord& draw);
    void DrawItemClassic(VarnMenuDrawRecord& draw);
    // The action QMenu last asked the style about (measured or drawn).
    const QAction* StyledAction() const { return m_styledAction; }
    // The system's menu-bar height: the menu font's height + 4.
    static int MenuBarHeight();
    // A display with a palette draws the classic look; none here, unless a test says so.
    static bool IsPaletteDisplay();
    static void SetPaletteDisplay(std::optional<bool> palette);

    static COLORREF LightenColor(COLORREF colour, double factor) { return ::LightenColor(colour, factor); }
    static COLORREF DarkenColor(COLORREF colour, double factor) { return ::DarkenColor(colour, factor); }
    static void DrawCheckBoxClassic(QPainter& dc, const WinRect& box, bool selected, bool radio);
    static void DrawCheckBoxXP(QPainter& dc, const WinRect& box, bool radio, COLORREF colour, bool selected);
    static void DrawCheckTick(QPainter& dc, int x, int y, COLORREF colour, bool narrow);
    static void DrawRadioDot(QPainter& dc, int x, int y, COLORREF colour);
    // The image over COLOR_BTNFACE, W × H.
    static QImage RenderImageToBitmap(const ImageList* images, int index);
    static void ShadeImage(QImage& bitmap, COLORREF replacement);
    static void DrawShadedImage(QPainter& dc, int x, int y, QImage bitmap, COLORREF background);
    static void DrawEmbossedImage(QPainter& dc, int x, int y, const QImage& bitmap, COLORREF background);
    static void DrawMaskEmbossedImage(QPainter& dc, int x, int y, const QImage& bitmap, COLORREF background);

    // ---- the data model -------------------------------------------------------------------
    virtual BOOL LoadMenuTemplate(int resource);
    virtual BOOL LoadMenuTemplate(const QString& name);
    virtual void DestroyMenu();
    void RebuildItemRecords();
    void AlignAccelerators();
    int GetPositionOffset();
    void RestorePopupItems();

    // Items are the visible actions; positions count them.
    int GetMenuItemCount() const;
    QAction* ActionAt(int position) const;
    int PositionOf(const QAction* action) const;
    // What QMenu shows for an item: the text, and the shortcut after a tab when the text has none.
    static QString MenuString(const QAction* action);
    // The record of an item, the records brought up to date first.
    VarnMenuItemRecord* RecordFor(const QAction* action);
    const std::vector<std::unique_ptr<VarnMenuItemRecord>>& ItemRecords() const { return m_ItemRecords; }
    const std::vector<std::unique_ptr<VarnMenu>>& OwnPopups() const { return m_OwnPopups; }
    BOOL IsLoadedFromTemplate() const { return m_bLoadedFromTemplate; }

    // ---- adding items ---------------------------------------------------------------------
    BOOL AppendItem(const QString& text, UINT flags, UINT command, int imageResource = -1);
    BOOL AppendItem(const QString& text, UINT flags, UINT command, const ImageList* images, int index);
    BOOL AppendItem(const QString& text, UINT flags, std::unique_ptr<VarnMenu> popup);
    BOOL InsertItem(UINT position, const QString& text, UINT flags, UINT command, int imageResource = -1);
    BOOL InsertItem(UINT position, const QString& text, UINT flags, UINT command, const ImageList* images, int index);
    BOOL InsertItem(UINT position, const QString& text, UINT flags, std::unique_ptr<VarnMenu> popup);
    BOOL AppendMenu(UINT flags, UINT command, const QString& text, int imageResource = -1);
    BOOL AppendMenu(UINT flags, UINT command, const QString& text, const ImageList* images, int index);
    BOOL AppendMenu(UINT flags, UINT command, const QString& text, const QPixmap* bitmap);
    BOOL InsertMenu(UINT position, UINT flags, UINT command, const QString& text, int imageResource = -1);
    BOOL InsertMenu(UINT position, UINT flags, UINT command, const QString& text, const ImageList* images, int index);
    BOOL InsertMenu(UINT position, UINT flags, UINT command, const QString& text, const QPixmap* bitmap);
    VarnMenu* AppendPopup(const QString& text);

    // ---- changing items -------------------------------------------------------------------
    BOOL SetItemImage(const std::optional<QString>& text, UINT command, int imageResource);
    BOOL SetItemImage(const std::optional<QString>& text, UINT command, const ImageList* images, int index);
    BOOL SetItemImage(const std::optional<QString>& text, UINT command, const QPixmap* bitmap);
    // A painted swatch: `hatch` none is a solid fill.
    BOOL SetItemColor(const std::optional<QString>& text, UINT command, COLORREF fill, COLORREF border,
        std::optional<Qt::BrushStyle> hatch = std::nullopt, std::optional<QSize> size = std::nullopt);
    BOOL SetItemImageByText(const std::optional<QString>& newText, const QString& text, int imageResource);
    BOOL SetItemText(UINT position, const QString& text, UINT flags);
    BOOL GetItemText(UINT position, QString& text, UINT flags);
    BOOL LoadToolbarImages(int toolbarResource);
    BOOL LoadToolbarList(const std::vector<int>& toolbarResources);
    // The buttons' command ids are their actions' data().
    void BindToolbarImages(const QToolBar* toolbar, int bitmapResource);
    void LoadCheckBitmaps(int unselected, int selected);
    void SetImageBackground(COLORREF colour);
    void ClearImageBackground();
    void EnableDynamicDisabledImages() { m_bDynamicDisabledImages = TRUE; }
    void DisableDynamicDisabledImages() { m_bDynamicDisabledImages = FALSE; }
    BOOL HasDynamicDisabledImages() const { return m_bDynamicDisabledImages; }

    // ---- finding and removing -------------------------------------------------------------
    VarnMenu* FindCommandItem(UINT command, int& position);
    VarnMenu* FindNextCommandItem(
        UINT command, int& position, const std::vector<VarnMenu*>& menus, const std::vector<int>& positions);
    VarnMenuItemRecord* FindItemRecord(UINT command);
    VarnMenuItemRecord* FindItemRecordByText(const QString& text);
    int FindItemPosition(const QString& text);
    VarnMenu* GetSubMenu(const QString& text);
    VarnMenu* FindPopupByText(const QString& text);
    BOOL RemoveItem(UINT position, UINT flags);
    BOOL DeleteItem(UINT position, UINT flags);
    int RemoveItemByText(const QString& text, int mode);
    int DeleteItemByText(const QString& text, int mode);

    // ---- image helpers --------------------------------------------------------------------
    BOOL FindToolbarImage(UINT command, int toolbarResource, int& index) const;
    BOOL AddResourceImage(ImageList& images, int bitmapResource) const;
    static int StoreGlobalImage(const ImageList& images, int index, UINT command);
    static int FindGlobalImage(UINT command);
    static BOOL CopyImage(const ImageList* source, int index, ImageList& target);
    static void KeyMagentaToFace(QImage& image);
    QImage PaintColorSwatch(COLORREF fill, COLORREF border, std::optional<Qt::BrushStyle> hatch, QSize size) const;
    // The transparent colour of added images.
    COLORREF ImageTransparentColour() const;

    // ---- members ----------------------------------------------------------------------------
    COLORREF m_crImageBackground = 0xC0C0C0;
    BOOL m_bUseImageBackground = FALSE;
    BOOL m_bDynamicDisabledImages = FALSE;
    std::shared_ptr<ImageList> m_pCheckImages;
    BOOL m_bCheckImagesShared = FALSE;
    int m_nSelectedCheckBitmap = -1;
    int m_nUnselectedCheckBitmap = -1;

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void actionEvent(QActionEvent* event) override;

private:
    enum class Removal { Remove, Delete };
    // The image of an item as its record resolves it; `resource` -1 for none.
    struct ItemImage {
        const ImageList* list = nullptr;
        int index = -1;
        int resource = -1;
    };
    static ItemImage ResolveImage(const VarnMenuItemRecord& record);
    static void DrawItemText(QPainter& dc, const QString& text, const WinRect& item, int left, COLORREF colour);
    void DrawDisabledImage(QPainter& dc, const ItemImage& image, int x, int y, COLORREF background) const;
    BOOL AddItem(int position, const QString& text, UINT flags, UINT command, std::unique_ptr<VarnMenu> popup,
        std::unique_ptr<VarnMenuItemRecord> record);
    std::unique_ptr<VarnMenuItemRecord> NewRecord(const QString& text, UINT command, int imageResource);
    QAction* CommandAction(UINT command, const QString& text);
    BOOL InsertWithResource(UINT position, const QString& text, UINT flags, UINT command, int imageResource,
        std::unique_ptr<VarnMenu> popup);
    BOOL SetItemImageFromList(
        const std::optional<QString>& text, UINT command, const ImageList* images, int index, bool keepWhenNull);
    // Every item of `command` in this menu and its popups: the new text if any, then `change` on its
    // record, which then draws itself and keeps the command. False when there is no such item.
    bool ChangeCommandItems(
        const std::optional<QString>& text, UINT command, const std::function<void(VarnMenuItemRecord&)>& change);
    BOOL RemoveOrDelete(UINT position, UINT flags, Removal how);
    int RemoveOrDeleteByText(const QString& text, int mode, Removal how);
    std::unique_ptr<VarnMenu> MakePopup();
    void EnsureRecords();
    bool ParseTemplate(const std::vector<MenuTemplateItem>& items);
    void RegisterPopup(VarnMenu* popup);

    std::vector<std::unique_ptr<VarnMenuItemRecord>> m_ItemRecords;
    std::vector<std::unique_ptr<VarnMenu>> m_OwnPopups;
    BOOL m_bLoadedFromTemplate = FALSE;
    bool m_recordsStale = false;
    mutable const QAction* m_styledAction = nullptr;
};
