#include "controls/ui/menu/VarnMenu.h"

#include "controls/ui/menu/VarnMenuStyle.h"

#include "platform/Resources.h"
#include "platform/SettingsStore.h"
#include "platform/ui/GdiShim.h"
#include "platform/ui/QtServices.h"

#include <QAction>
#include <QActionEvent>
#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolBar>

#include <algorithm>
#include <map>

std::vector<VarnMenu*> g_VarnMenuPopups;
ImageList g_VarnMenuImages;
std::vector<UINT> g_VarnMenuImageCommands;
int g_nVarnMenuImageWidth = 16;
int g_nVarnMenuImageHeight = 15;
int g_nWindowsVersionClass = GetWindowsVersionClass();
int g_nVarnMenuDrawModeThemed = 1;
int g_nVarnMenuDrawModeOther = 0;
BOOL g_bVarnMenuPlainBitmaps = FALSE;

namespace {

std::map<int, std::vector<MenuTemplateItem>>& NumberedTemplates()
{
    static std::map<int, std::vector<MenuTemplateItem>> templates;
    return templates;
}

std::map<QString, std::vector<MenuTemplateItem>>& NamedTemplates()
{
    static std::map<QString, std::vector<MenuTemplateItem>> templates;
    return templates;
}

std::map<int, std::vector<UINT>>& Toolbars()
{
    static std::map<int, std::vector<UINT>> toolbars;
    return toolbars;
}

std::function<QAction*(UINT)>& CommandActions()
{
    static std::function<QAction*(UINT)> actions;
    return actions;
}

std::function<int(const QString&)>& TextMeasure()
{
    static std::function<int(const QString&)> measure;
    return measure;
}

std::optional<BOOL>& ClassicThemeCache()
{
    static std::optional<BOOL> cache;
    return cache;
}

constexpr LRESULT MakeMenuCharResult(int position, int action)
{
    return static_cast<LRESULT>((static_cast<DWORD>(action) << 16) | static_cast<DWORD>(position & 0xFFFF));
}

// Item state bits as the system reports them.
UINT ActionState(const QAction* action)
{
    UINT state = 0;
    if (!action->isEnabled())
        state |= MF_GRAYED;
    if (action->isChecked())
        state |= MF_CHECKED;
    return state;
}

bool IsSeparatorFlags(UINT flags)
{
    return (flags & MF_SEPARATOR) != 0;
}

// The resource's image, bitmap files of any format Qt reads.
std::optional<QImage> LoadBitmapResource(int resource)
{
    const std::optional<QByteArray> data = platform::LoadResource("BITMAP", resource);
    if (!data)
        return std::nullopt;
    QImage image;
    if (!image.loadFromData(*data))
        return std::nullopt;
    return image;
}

// A 16-colour bitmap with the standard black, greys and white turned into the button colours.
std::optional<QImage> LoadSystemColorBitmap(int resource)
{
    std::optional<QImage> image = LoadBitmapResource(resource);
    if (!image || image->colorCount() != 16)
        return std::nullopt;
    QList<QRgb> table = image->colorTable();
    for (QRgb& entry : table) {
        const QRgb rgb = entry & 0xFFFFFF;
        COLORREF to = 0xFFFFFFFF;
        if (rgb == 0x000000)
            to = GetSysColor(COLOR_BTNTEXT);
        else if (rgb == 0x808080)
            to = GetSysColor(COLOR_BTNSHADOW);
        else if (rgb == 0xC0C0C0)
            to = GetSysColor(COLOR_BTNFACE);
        else if (rgb == 0xFFFFFF)
            to = GetSysColor(COLOR_BTNHIGHLIGHT);
        if (to != 0xFFFFFFFF)
            entry = qRgb(GetRValue(to), GetGValue(to), GetBValue(to));
    }
    image->setColorTable(table);
    return image;
}

// The label: the text before its first tab.
QString LabelOf(const QString& text)
{
    const qsizetype tab = text.indexOf(u'\t');
    return tab < 0 ? text : text.left(tab);
}

} // namespace

int GetWindowsVersionClass()
{
    // Every system here counts as a later NT version.
    return 1;
}

BOOL IsClassicThemeActive()
{
    std::optional<BOOL>& cache = ClassicThemeCache();
    if (cache)
        return *cache;
    cache = FALSE;
    const auto value = platform::SettingsStore::Instance().GetValue("Software\\Microsoft\\Plus!\\Themes\\Current", "");
    if (!value || value->type != platform::ValueType::String)
        return FALSE;
    const QString text = QString::fromStdString(value->text);
    static const QString classic = QStringLiteral("Windows Classic.theme");
    cache = text.endsWith(classic, Qt::CaseInsensitive) ? TRUE : FALSE;
    return *cache;
}

void ResetClassicThemeCache()
{
    ClassicThemeCache().reset();
}

// ---- construction and class-wide state ------------------------------------------------------

VarnMenu::VarnMenu(QWidget* parent)
    : QMenu(parent)
{
    // Devices ends with a separator and Tools starts with one; both stay.
    setSeparatorsCollapsible(false);
    setStyle(VarnMenuStyle::Instance());
    connect(this, &QMenu::aboutToShow, this, [this] { PrepareSubMenus(this); });
}

VarnMenu::~VarnMenu()
{
    DestroyMenu();
}

void VarnMenu::SelectDrawStyle(int mode)
{
    g_nVarnMenuDrawModeThemed = mode;
    g_nVarnMenuDrawModeOther = mode;
    // The looks measure differently: every popup lays its items out again.
    for (VarnMenu* popup : g_VarnMenuPopups) {
        QEvent changed(QEvent::StyleChange);
        QCoreApplication::sendEvent(popup, &changed);
        popup->update();
    }
}

void VarnMenu::SetImageSize(int width, int height)
{
    g_nVarnMenuImageWidth = width;
    g_nVarnMenuImageHeight = height;
}

BOOL VarnMenu::IsOwnMenu(const VarnMenu* menu)
{
    return IsOwnMenu(static_cast<const QMenu*>(menu));
}

BOOL VarnMenu::IsOwnMenu(const QMenu* handle)
{
    if (!handle)
        return FALSE;
    return std::find(g_VarnMenuPopups.begin(), g_VarnMenuPopups.end(), handle) != g_VarnMenuPopups.end();
}

void VarnMenu::PrepareSubMenus(VarnMenu* menu)
{
    if (menu)
        menu->RebuildItemRecords();
}

bool VarnMenu::IsThemedXP()
{
    return g_nWindowsVersionClass == 7 && !IsClassicThemeActive();
}

int VarnMenu::ActiveDrawMode()
{
    return IsThemedXP() ? g_nVarnMenuDrawModeThemed : g_nVarnMenuDrawModeOther;
}

void VarnMenu::RegisterMenuTemplate(int id, std::vector<MenuTemplateItem> items)
{
    NumberedTemplates()[id] = std::move(items);
}

void VarnMenu::RegisterMenuTemplate(const QString& name, std::vector<MenuTemplateItem> items)
{
    NamedTemplates()[name.toUpper()] = std::move(items);
}

void VarnMenu::RegisterToolbarResource(int id, std::vector<UINT> commands)
{
    Toolbars()[id] = std::move(commands);
}

void VarnMenu::SetCommandActions(std::function<QAction*(UINT)> actions)
{
    CommandActions() = std::move(actions);
}

void VarnMenu::SetTextMeasure(std::function<int(const QString&)> measure)
{
    TextMeasure() = std::move(measure);
}

// ---- items and records ----------------------------------------------------------------------

int VarnMenu::GetMenuItemCount() const
{
    int count = 0;
    for (const QAction* action : actions())
        if (action->isVisible())
            ++count;
    return count;
}

QAction* VarnMenu::ActionAt(int position) const
{
    if (position < 0)
        return nullptr;
    int i = 0;
    for (QAction* action : actions()) {
        if (!action->isVisible())
            continue;
        if (i++ == position)
            return action;
    }
    return nullptr;
}

int VarnMenu::PositionOf(const QAction* action) const
{
    int i = 0;
    for (const QAction* a : actions()) {
        if (!a->isVisible())
            continue;
        if (a == action)
            return i;
        ++i;
    }
    return -1;
}

QString VarnMenu::MenuString(const QAction* action)
{
    if (!action || action->isSeparator())
        return {};
    QString text = action->text();
    if (!text.contains(u'\t') && !action->shortcut().isEmpty())
        text += u'\t' + action->shortcut().toString(QKeySequence::NativeText);
    return text;
}

void VarnMenu::EnsureRecords()
{
    if (m_recordsStale || static_cast<size_t>(GetMenuItemCount()) != m_ItemRecords.size())
        RebuildItemRecords();
}

VarnMenuItemRecord* VarnMenu::RecordFor(const QAction* action)
{
    EnsureRecords();
    for (const auto& record : m_ItemRecords)
        if (record->m_pAction == action)
            return record.get();
    return nullptr;
}

void VarnMenu::actionEvent(QActionEvent* event)
{
    QMenu::actionEvent(event);
    m_recordsStale = true;
}

void VarnMenu::RebuildItemRecords()
{
    for (auto& record : m_ItemRecords)
        record->m_bMatched = FALSE;
    std::vector<std::unique_ptr<VarnMenuItemRecord>> list;
    const int count = GetMenuItemCount();
    for (int i = 0; i < count; ++i) {
        QAction* action = ActionAt(i);
        std::unique_ptr<VarnMenuItemRecord>* found = nullptr;
        for (auto& record : m_ItemRecords) {
            if (record && !record->m_bMatched && record->m_pAction == action) {
                found = &record;
                break;
            }
        }
        const UINT state = ActionState(action);
        const QString menuString = MenuString(action);
        std::unique_ptr<VarnMenuItemRecord> record;
        if (found) {
            record = std::move(*found);
            record->m_bMatched = TRUE;
            // Only a menu string changed since the record last took one replaces its text, so
            // padding given to the template's texts survives.
            if (menuString != record->m_notedMenuString) {
                if (!menuString.isEmpty())
                    record->m_pszText = menuString;
                record->m_notedMenuString = menuString;
            }
        } else {
            record = std::make_unique<VarnMenuItemRecord>();
            record->m_bMatched = TRUE;
            record->m_pAction = action;
            record->m_pszText = menuString;
            record->m_notedMenuString = menuString;
        }
        auto* popup = qobject_cast<VarnMenu*>(action->menu());
        if (action->menu()) {
            record->m_pPopup = popup;
            record->m_nCommand = 0;
            record->m_nFlags = m_bLoadedFromTemplate ? (MF_BYPOSITION | MF_POPUP)
                                                     : ((state & 0xFF) | MF_POPUP | MF_BYPOSITION | MF_OWNERDRAW);
        } else if (action->isSeparator()) {
            if (!found)
                record->m_nFlags = state | MF_BYPOSITION | MF_OWNERDRAW | MF_SEPARATOR;
        } else {
            const UINT command = action->data().toUInt();
            if (!found) {
                record->m_nCommand = command;
                // A command whose image is shared shows it on an item added by plain calls too.
                record->m_nGlobalImage = FindGlobalImage(command);
            }
            record->m_nFlags
                = m_bLoadedFromTemplate ? (MF_BYPOSITION | MF_STRING) : (state | MF_BYPOSITION | MF_OWNERDRAW);
        }
        list.push_back(std::move(record));
    }
    m_ItemRecords = std::move(list); // unmatched records go here
    m_recordsStale = false;
}

LRESULT VarnMenu::FindShortcutKey(QChar character, UINT flags, VarnMenu* menu)
{
    if (!menu || !(flags & MF_POPUP))
        return 0;
    const QChar key = character.toLower();
    menu->EnsureRecords();
    for (size_t i = 0; i < menu->m_ItemRecords.size(); ++i) {
        const QString text = menu->m_ItemRecords[i]->m_pszText.toLower();
        for (qsizetype j = 0; j + 1 < text.size(); ++j) {
            if (text[j] != u'&')
                continue;
            if (text[j + 1] == u'&') {
                ++j; // "&&" is a plain "&"
                continue;
            }
            if (text[j + 1] == key)
                return MakeMenuCharResult(static_cast<int>(i), 2);
        }
    }
    return 0;
}

void VarnMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const
{
    QMenu::initStyleOption(option, action);
    m_styledAction = action;
}

void VarnMenu::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    if (!(event->modifiers() & Qt::ControlModifier) && typed.size() == 1 && typed[0].isPrint()) {
        const LRESULT hit = FindShortcutKey(typed[0], MF_POPUP, this);
        if (QAction* action = hit ? ActionAt(static_cast<int>(hit & 0xFFFF)) : nullptr) {
            // QMenu alone only moves to the next item of a repeated mnemonic; the first one runs.
            setActiveAction(action);
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QMenu::keyPressEvent(&enter);
            return;
        }
    }
    QMenu::keyPressEvent(event);
}

// ---- templates ------------------------------------------------------------------------------

BOOL VarnMenu::LoadMenuTemplate(int resource)
{
    const auto it = NumberedTemplates().find(resource);
    if (it == NumberedTemplates().end())
        return FALSE;
    return ParseTemplate(it->second) ? TRUE : FALSE;
}

BOOL VarnMenu::LoadMenuTemplate(const QString& name)
{
    const auto it = NamedTemplates().find(name.toUpper());
    if (it == NamedTemplates().end())
        return FALSE;
    return ParseTemplate(it->second) ? TRUE : FALSE;
}

bool VarnMenu::ParseTemplate(const std::vector<MenuTemplateItem>& items)
{
    DestroyMenu();
    struct Level {
        VarnMenu* menu;
        bool ending;
    };
    std::vector<Level> stack { { this, false } };
    size_t next = 0;
    while (!stack.empty()) {
        if (next >= items.size()) {
            // The last popup never closed: nothing of it stays.
            DestroyMenu();
            return false;
        }
        const MenuTemplateItem& item = items[next++];
        const bool end = (item.option & MF_END) != 0;
        const UINT flags = item.option & ~MF_END;
        VarnMenu* top = stack.back().menu;
        if (flags & MF_POPUP) {
            if (end)
                stack.back().ending = true;
            std::unique_ptr<VarnMenu> popup = top->MakePopup();
            VarnMenu* raw = popup.get();
            top->AppendItem(item.text, flags, std::move(popup));
            stack.push_back({ raw, false });
        } else {
            top->AppendItem(item.text, flags, item.command, -1);
            if (end)
                stack.back().ending = true;
            while (!stack.empty() && stack.back().ending) {
                stack.back().menu->AlignAccelerators();
                stack.pop_back();
            }
        }
    }
    // The bar's own items are plain text items.
    for (auto& record : m_ItemRecords)
        record->m_nFlags = record->m_pPopup ? (MF_BYPOSITION | MF_POPUP) : (MF_BYPOSITION | MF_STRING);
    m_bLoadedFromTemplate = TRUE;
    return true;
}

void VarnMenu::AlignAccelerators()
{
    const QFontMetrics metrics(QApplication::font("QMenu"));
    auto width = [&](const QString& s) { return TextMeasure() ? TextMeasure()(s) : metrics.horizontalAdvance(s); };
    int widest = 0;
    for (const auto& record : m_ItemRecords)
        widest = std::max(widest, width(LabelOf(record->m_pszText) + u' '));
    for (auto& record : m_ItemRecords) {
        const qsizetype tab = record->m_pszText.indexOf(u'\t');
        if (tab < 0)
            continue;
        QString label = record->m_pszText.left(tab);
        int w = width(label);
        while (w < widest) {
            const int wider = width(label + u' ');
            if (wider <= w)
                break; // a blank that adds nothing would pad for ever
            label += u' ';
            w = wider;
        }
        record->m_pszText = label + record->m_pszText.mid(tab);
    }
}

int VarnMenu::GetPositionOffset()
{
    if (!m_bLoadedFromTemplate)
        return 0;
    const int count = GetMenuItemCount();
    for (int i = 0; i < count; ++i) {
        const QString menuString = ActionAt(i)->text();
        if (menuString.isEmpty())
            continue;
        for (size_t j = 0; j < m_ItemRecords.size(); ++j) {
            if (m_ItemRecords[j]->m_pszText == menuString)
                return i >= static_cast<int>(j) ? i - static_cast<int>(j) : 0;
        }
    }
    return 0;
}

void VarnMenu::RestorePopupItems()
{
    const int count = GetMenuItemCount();
    size_t record = 0;
    for (int position = GetPositionOffset(); position < count && record < m_ItemRecords.size(); ++position, ++record) {
        if (ActionAt(position)->menu())
            m_ItemRecords[record]->m_nFlags = MF_BYPOSITION | MF_POPUP;
    }
}

void VarnMenu::DestroyMenu()
{
    g_VarnMenuPopups.erase(std::remove(g_VarnMenuPopups.begin(), g_VarnMenuPopups.end(), this), g_VarnMenuPopups.end());
    clear();
    while (!m_OwnPopups.empty()) {
        VarnMenu* popup = m_OwnPopups.back().get();
        g_VarnMenuPopups.erase(
            std::remove(g_VarnMenuPopups.begin(), g_VarnMenuPopups.end(), popup), g_VarnMenuPopups.end());
        std::unique_ptr<VarnMenu> gone = std::move(m_OwnPopups.back());
        m_OwnPopups.pop_back();
    }
    m_ItemRecords.clear();
    if (m_pCheckImages && !m_bCheckImagesShared)
        m_pCheckImages.reset();
    m_bLoadedFromTemplate = FALSE;
    m_recordsStale = false;
}

// ---- adding items ---------------------------------------------------------------------------

std::unique_ptr<VarnMenu> VarnMenu::MakePopup()
{
    auto popup = std::make_unique<VarnMenu>(this);
    popup->m_nUnselectedCheckBitmap = m_nUnselectedCheckBitmap;
    popup->m_nSelectedCheckBitmap = m_nSelectedCheckBitmap;
    popup->m_pCheckImages = m_pCheckImages;
    popup->m_bCheckImagesShared = TRUE;
    return popup;
}

void VarnMenu::RegisterPopup(VarnMenu* popup)
{
    g_VarnMenuPopups.push_back(popup);
}

QAction* VarnMenu::CommandAction(UINT command, const QString& text)
{
    if (CommandActions())
        if (QAction* shared = CommandActions()(command))
            return shared;
    auto* action = new QAction(text, this); // owned by this menu
    action->setData(command);
    return action;
}

std::unique_ptr<VarnMenuItemRecord> VarnMenu::NewRecord(const QString& text, UINT command, int imageResource)
{
    auto record = std::make_unique<VarnMenuItemRecord>();
    record->SetText(text);
    if (imageResource < 0) {
        record->m_nGlobalImage = FindGlobalImage(command);
    } else {
        int index = 0;
        FindToolbarImage(command, imageResource, index);
        ImageList images(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
        if (AddResourceImage(images, imageResource))
            record->m_nGlobalImage = StoreGlobalImage(images, index, command);
    }
    return record;
}

BOOL VarnMenu::AddItem(int position, const QString& text, UINT flags, UINT command, std::unique_ptr<VarnMenu> popup,
    std::unique_ptr<VarnMenuItemRecord> record)
{
    QAction* action = nullptr;
    VarnMenu* raw = popup.get();
    if (raw) {
        raw->setTitle(text);
        action = raw->menuAction();
        flags |= MF_POPUP | MF_OWNERDRAW;
        command = 0;
        RegisterPopup(raw);
        m_OwnPopups.push_back(std::move(popup));
    } else if (command == 0 || (flags & MF_SEPARATOR)) {
        command = 0;
        flags = (flags & MF_BYPOSITION) ? (MF_BYPOSITION | MF_OWNERDRAW | MF_SEPARATOR) : (MF_OWNERDRAW | MF_SEPARATOR);
        action = new QAction(this); // owned by this menu
        action->setSeparator(true);
    } else {
        flags |= MF_OWNERDRAW;
        action = CommandAction(command, text);
    }
    // An action already in this menu moves; its old record goes.
    if (const int old = PositionOf(action); old >= 0 && static_cast<size_t>(old) < m_ItemRecords.size()
        && m_ItemRecords[static_cast<size_t>(old)]->m_pAction == action) {
        m_ItemRecords.erase(m_ItemRecords.begin() + old);
        if (position > old)
            --position;
    }
    QAction* before = position < 0 ? nullptr : ActionAt(position);
    if (before == action)
        before = nullptr;
    insertAction(before, action);
    if (!action->isVisible())
        return TRUE; // a hidden action is no item; it gets its record when it shows
    record->m_pAction = action;
    record->m_pPopup = raw;
    record->m_nFlags = flags;
    record->m_nCommand = command;
    record->m_notedMenuString = MenuString(action);
    size_t at = position < 0 ? m_ItemRecords.size() : std::min(static_cast<size_t>(position), m_ItemRecords.size());
    m_ItemRecords.insert(m_ItemRecords.begin() + static_cast<std::ptrdiff_t>(at), std::move(record));
    m_recordsStale = static_cast<size_t>(GetMenuItemCount()) != m_ItemRecords.size();
    return TRUE;
}

BOOL VarnMenu::AppendItem(const QString& text, UINT flags, UINT command, int imageResource)
{
    if (flags & MF_POPUP)
        return FALSE; // a popup item comes with its menu (the form below)
    auto record = NewRecord(text, command, imageResource);
    const BOOL done = AddItem(-1, text, flags, command, nullptr, std::move(record));
    if (m_bLoadedFromTemplate)
        RestorePopupItems();
    return done;
}

BOOL VarnMenu::AppendItem(const QString& text, UINT flags, UINT command, const ImageList* images, int index)
{
    if (flags & MF_POPUP)
        return FALSE;
    auto record = std::make_unique<VarnMenuItemRecord>();
    record->SetText(text);
    if (images) {
        record->m_nImageResource = 0;
        record->m_nImageIndex = 0;
        record->m_pImages = std::make_unique<ImageList>();
        CopyImage(images, index, *record->m_pImages);
    }
    return AddItem(-1, text, flags, command, nullptr, std::move(record));
}

BOOL VarnMenu::AppendItem(const QString& text, UINT flags, std::unique_ptr<VarnMenu> popup)
{
    if (!popup)
        return FALSE;
    auto record = std::make_unique<VarnMenuItemRecord>();
    record->SetText(text);
    const BOOL done = AddItem(-1, text, flags | MF_POPUP, 0, std::move(popup), std::move(record));
    if (m_bLoadedFromTemplate)
        RestorePopupItems();
    return done;
}

BOOL VarnMenu::InsertWithResource(
    UINT position, const QString& text, UINT flags, UINT command, int imageResource, std::unique_ptr<VarnMenu> popup)
{
    if (!(flags & MF_BYPOSITION)) {
        int found = -1;
        VarnMenu* holder = FindCommandItem(position, found);
        if (!holder)
            return 0;
        return holder->InsertWithResource(
            static_cast<UINT>(found), text, flags | MF_BYPOSITION, command, imageResource, std::move(popup));
    }
    int at = position == static_cast<UINT>(-1) ? -1 : static_cast<int>(position);
    if (popup && m_bLoadedFromTemplate && at >= 0) {
        const int offset = GetPositionOffset();
        if (at >= offset)
            at -= offset;
    }
    std::unique_ptr<VarnMenuItemRecord> record;
    if (popup) {
        record = std::make_unique<VarnMenuItemRecord>();
        record->SetText(text);
    } else {
        record = NewRecord(text, command, imageResource);
    }
    const BOOL done = AddItem(at, text, flags, command, std::move(popup), std::move(record));
    if (m_bLoadedFromTemplate)
        RestorePopupItems();
    return done;
}

BOOL VarnMenu::InsertItem(UINT position, const QString& text, UINT flags, UINT command, int imageResource)
{
    if (flags & MF_POPUP)
        return FALSE;
    return InsertWithResource(position, text, flags, command, imageResource, nullptr);
}

BOOL VarnMenu::InsertItem(UINT position, const QString& text, UINT flags, std::unique_ptr<VarnMenu> popup)
{
    if (!popup)
        return FALSE;
    return InsertWithResource(position, text, flags | MF_POPUP, 0, -1, std::move(popup));
}

BOOL VarnMenu::InsertItem(
    UINT position, const QString& text, UINT flags, UINT command, const ImageList* images, int index)
{
    if (flags & MF_POPUP)
        return FALSE;
    if (!(flags & MF_BYPOSITION)) {
        int found = -1;
        VarnMenu* holder = FindCommandItem(position, found);
        if (!holder)
            return 0;
        return holder->InsertItem(static_cast<UINT>(found), text, flags | MF_BYPOSITION, command, images, index);
    }
    auto record = std::make_unique<VarnMenuItemRecord>();
    record->SetText(text);
    if (images)
        record->m_nGlobalImage = StoreGlobalImage(*images, index, command);
    const int at = position == static_cast<UINT>(-1) ? -1 : static_cast<int>(position);
    return AddItem(at, text, flags, command, nullptr, std::move(record));
}

BOOL VarnMenu::AppendMenu(UINT flags, UINT command, const QString& text, int imageResource)
{
    return AppendItem(text, flags, command, imageResource);
}

BOOL VarnMenu::AppendMenu(UINT flags, UINT command, const QString& text, const ImageList* images, int index)
{
    return AppendItem(text, flags, command, images, index);
}

BOOL VarnMenu::AppendMenu(UINT flags, UINT command, const QString& text, const QPixmap* bitmap)
{
    if (!bitmap || bitmap->isNull())
        return AppendItem(text, flags, command, nullptr, 0);
    ImageList images(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
    images.Add(*bitmap, ImageTransparentColour());
    return AppendItem(text, flags, command, &images, 0);
}

BOOL VarnMenu::InsertMenu(UINT position, UINT flags, UINT command, const QString& text, int imageResource)
{
    return InsertItem(position, text, flags, command, imageResource);
}

BOOL VarnMenu::InsertMenu(
    UINT position, UINT flags, UINT command, const QString& text, const ImageList* images, int index)
{
    return InsertItem(position, text, flags, command, images, index);
}

BOOL VarnMenu::InsertMenu(UINT position, UINT flags, UINT command, const QString& text, const QPixmap* bitmap)
{
    if (!bitmap || bitmap->isNull())
        return InsertItem(position, text, flags, command, nullptr, 0);
    ImageList images(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
    images.Add(*bitmap, ImageTransparentColour());
    return InsertItem(position, text, flags, command, &images, 0);
}

VarnMenu* VarnMenu::AppendPopup(const QString& text)
{
    std::unique_ptr<VarnMenu> popup = MakePopup();
    VarnMenu* raw = popup.get();
    return AppendItem(text, MF_POPUP, std::move(popup)) ? raw : nullptr;
}

// ---- changing items -------------------------------------------------------------------------

bool VarnMenu::ChangeCommandItems(
    const std::optional<QString>& text, UINT command, const std::function<void(VarnMenuItemRecord&)>& change)
{
    int position = -1;
    VarnMenu* holder = FindCommandItem(command, position);
    if (!holder)
        return false;
    std::vector<VarnMenu*> menus;
    std::vector<int> positions;
    while (holder) {
        VarnMenuItemRecord& record = *holder->m_ItemRecords[static_cast<size_t>(position)];
        if (text)
            record.SetText(*text);
        change(record);
        record.m_nFlags = (record.m_nFlags & ~MF_BYPOSITION) | MF_OWNERDRAW;
        record.m_nCommand = command;
        menus.push_back(holder);
        positions.push_back(position);
        holder = FindNextCommandItem(command, position, menus, positions);
    }
    return true;
}

BOOL VarnMenu::SetItemImage(const std::optional<QString>& text, UINT command, int imageResource)
{
    const bool found = ChangeCommandItems(text, command, [&](VarnMenuItemRecord& record) {
        record.m_nImageResource = -1;
        record.m_nImageIndex = -1;
        record.m_pImages.reset();
        record.m_nGlobalImage = NewRecord(QString(), command, imageResource)->m_nGlobalImage;
    });
    if (!found) {
        // No item yet: the command's shared image is stored for the items it gets later.
        NewRecord(QString(), command, imageResource);
        return FALSE;
    }
    return TRUE;
}

BOOL VarnMenu::SetItemImageFromList(
    const std::optional<QString>& text, UINT command, const ImageList* images, int index, bool keepWhenNull)
{
    const bool found = ChangeCommandItems(text, command, [&](VarnMenuItemRecord& record) {
        if (images || !keepWhenNull) {
            record.m_nImageResource = -1;
            record.m_nImageIndex = -1;
            if (images)
                record.m_nGlobalImage = StoreGlobalImage(*images, index, command);
        }
    });
    if (!found) {
        if (images)
            StoreGlobalImage(*images, index, command);
        return FALSE;
    }
    return TRUE;
}

BOOL VarnMenu::SetItemImage(const std::optional<QString>& text, UINT command, const ImageList* images, int index)
{
    return SetItemImageFromList(text, command, images, index, true);
}

BOOL VarnMenu::SetItemImage(const std::optional<QString>& text, UINT command, const QPixmap* bitmap)
{
    if (!bitmap || bitmap->isNull())
        return SetItemImageFromList(text, command, nullptr, 0, true);
    ImageList images(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
    images.Add(*bitmap, ImageTransparentColour());
    return SetItemImageFromList(text, command, &images, 0, true);
}

QImage VarnMenu::PaintColorSwatch(COLORREF fill, COLORREF border, std::optional<Qt::BrushStyle> hatch, QSize size) const
{
    const int w = g_nVarnMenuImageWidth, h = g_nVarnMenuImageHeight;
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(platform::ToQColor(GetSysColor(IsThemedXP() ? COLOR_BTNFACE : COLOR_MENU)));
    QPainter p(&image);
    const int x = (w - size.width()) / 2, y = (h - size.height()) / 2;
    p.setPen(QPen(platform::ToQColor(border), 0));
    p.setBrush(QBrush(platform::ToQColor(fill), hatch.value_or(Qt::SolidPattern)));
    // The rectangle covers size.width() × size.height() pixels, its border included.
    p.drawRect(x, y, size.width() - 1, size.height() - 1);
    p.end();
    return image;
}

BOOL VarnMenu::SetItemColor(const std::optional<QString>& text, UINT command, COLORREF fill, COLORREF border,
    std::optional<Qt::BrushStyle> hatch, std::optional<QSize> size)
{
    const QSize swatch = size.value_or(QSize(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight));
    const QPixmap bitmap = QPixmap::fromImage(PaintColorSwatch(fill, border, hatch, swatch));
    return SetItemImage(text, command, &bitmap);
}

BOOL VarnMenu::SetItemImageByText(const std::optional<QString>& newText, const QString& text, int imageResource)
{
    VarnMenuItemRecord* record = FindItemRecordByText(text);
    if (!record)
        return FALSE;
    if (newText)
        record->SetText(*newText);
    record->m_nImageResource = imageResource;
    record->m_nImageIndex = -1;
    if (imageResource >= 0) {
        record->m_nImageIndex = 0;
        record->m_pImages = std::make_unique<ImageList>(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
        if (!AddResourceImage(*record->m_pImages, imageResource)) {
            record->m_pImages.reset();
            record->m_nImageResource = -1;
            record->m_nImageIndex = -1;
        }
    }
    return TRUE;
}

BOOL VarnMenu::SetItemText(UINT position, const QString& text, UINT flags)
{
    if (!(flags & MF_BYPOSITION)) {
        int found = -1;
        VarnMenu* holder = FindCommandItem(position, found);
        return holder ? holder->SetItemText(static_cast<UINT>(found), text, MF_BYPOSITION) : FALSE;
    }
    EnsureRecords();
    if (position >= m_ItemRecords.size())
        return FALSE;
    m_ItemRecords[position]->SetText(text);
    return TRUE;
}

BOOL VarnMenu::GetItemText(UINT position, QString& text, UINT flags)
{
    if (!(flags & MF_BYPOSITION)) {
        int found = -1;
        VarnMenu* holder = FindCommandItem(position, found);
        return holder ? holder->GetItemText(static_cast<UINT>(found), text, MF_BYPOSITION) : FALSE;
    }
    EnsureRecords();
    if (position >= m_ItemRecords.size())
        return FALSE;
    text = m_ItemRecords[position]->GetText();
    return TRUE;
}

BOOL VarnMenu::FindToolbarImage(UINT command, int toolbarResource, int& index) const
{
    const auto it = Toolbars().find(toolbarResource);
    if (it == Toolbars().end())
        return FALSE;
    int image = 0;
    for (UINT button : it->second) {
        if (button == 0)
            continue;
        if (button == command) {
            if (image > 0)
                index = image;
            return TRUE;
        }
        ++image;
    }
    return FALSE;
}

BOOL VarnMenu::LoadToolbarImages(int toolbarResource)
{
    const auto it = Toolbars().find(toolbarResource);
    if (it == Toolbars().end())
        return FALSE;
    ImageList images(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
    if (!AddResourceImage(images, toolbarResource))
        return FALSE;
    int image = 0;
    const std::vector<UINT>& buttons = it->second;
    for (size_t position = 0; position < buttons.size(); ++position) {
        const UINT command = buttons[position];
        if (command == 0)
            continue;
        int found = -1;
        if (FindCommandItem(command, found)) {
            const int index = image > 0 ? image : static_cast<int>(position);
            SetItemImage(std::nullopt, command, &images, index);
        }
        ++image;
    }
    return TRUE;
}

BOOL VarnMenu::LoadToolbarList(const std::vector<int>& toolbarResources)
{
    BOOL all = TRUE;
    for (int resource : toolbarResources)
        if (!LoadToolbarImages(resource))
            all = FALSE;
    return all;
}

void VarnMenu::BindToolbarImages(const QToolBar* toolbar, int bitmapResource)
{
    if (!toolbar)
        return;
    int image = 0;
    for (const QAction* button : toolbar->actions()) {
        if (button->isSeparator())
            continue;
        const int number = image++;
        const UINT command = button->data().toUInt();
        int position = -1;
        VarnMenu* holder = command ? FindCommandItem(command, position) : nullptr;
        if (!holder)
            continue;
        VarnMenuItemRecord& record = *holder->m_ItemRecords[static_cast<size_t>(position)];
        record.m_nImageResource = bitmapResource;
        record.m_nCommand = command;
        record.m_nFlags = MF_OWNERDRAW;
        record.m_nImageIndex = number;
        record.m_pImages = std::make_unique<ImageList>(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
        if (!AddResourceImage(*record.m_pImages, bitmapResource)) {
            record.m_pImages.reset();
            record.m_nImageResource = -1;
            record.m_nImageIndex = -1;
        }
    }
}

void VarnMenu::LoadCheckBitmaps(int unselected, int selected)
{
    if (unselected < 1 || selected < 1)
        return;
    m_nUnselectedCheckBitmap = unselected;
    m_nSelectedCheckBitmap = selected;
    // A borrowed list stays the parent's: this menu makes its own.
    if (!m_pCheckImages || m_bCheckImagesShared) {
        m_pCheckImages = std::make_shared<ImageList>();
        m_bCheckImagesShared = FALSE;
    }
    m_pCheckImages->Create(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
    if (!AddResourceImage(*m_pCheckImages, unselected) || !AddResourceImage(*m_pCheckImages, selected))
        m_pCheckImages.reset();
}

void VarnMenu::SetImageBackground(COLORREF colour)
{
    m_crImageBackground = colour;
    m_bUseImageBackground = TRUE;
}

void VarnMenu::ClearImageBackground()
{
    m_bUseImageBackground = FALSE;
}

COLORREF VarnMenu::ImageTransparentColour() const
{
    return m_bUseImageBackground ? m_crImageBackground : GetSysColor(COLOR_BTNFACE);
}

// ---- finding --------------------------------------------------------------------------------

VarnMenu* VarnMenu::FindCommandItem(UINT command, int& position)
{
    return FindNextCommandItem(command, position, {}, {});
}

VarnMenu* VarnMenu::FindNextCommandItem(
    UINT command, int& position, const std::vector<VarnMenu*>& menus, const std::vector<int>& positions)
{
    EnsureRecords();
    for (size_t i = 0; i < m_ItemRecords.size(); ++i) {
        const VarnMenuItemRecord& record = *m_ItemRecords[i];
        if (record.m_pPopup) {
            if (VarnMenu* found = record.m_pPopup->FindNextCommandItem(command, position, menus, positions))
                return found;
            continue;
        }
        if (IsSeparatorFlags(record.m_nFlags) || record.m_nCommand != command)
            continue;
        bool visited = false;
        for (size_t v = 0; v < menus.size() && v < positions.size(); ++v)
            visited = visited || (menus[v] == this && positions[v] == static_cast<int>(i));
        if (!visited) {
            position = static_cast<int>(i);
            return this;
        }
    }
    position = -1;
    return nullptr;
}

VarnMenuItemRecord* VarnMenu::FindItemRecord(UINT command)
{
    int position = -1;
    VarnMenu* holder = FindCommandItem(command, position);
    return holder ? holder->m_ItemRecords[static_cast<size_t>(position)].get() : nullptr;
}

VarnMenuItemRecord* VarnMenu::FindItemRecordByText(const QString& text)
{
    EnsureRecords();
    for (const auto& record : m_ItemRecords) {
        if (record->m_pszText == text)
            return record.get();
        if (record->m_pPopup)
            if (VarnMenuItemRecord* found = record->m_pPopup->FindItemRecordByText(text))
                return found;
    }
    return nullptr;
}

int VarnMenu::FindItemPosition(const QString& text)
{
    EnsureRecords();
    const bool hasCommandItem
        = std::any_of(m_ItemRecords.begin(), m_ItemRecords.end(), [](const auto& record) { return !record->m_pPopup; });
    if (!hasCommandItem)
        return -1;
    for (size_t i = 0; i < m_ItemRecords.size(); ++i)
        if (m_ItemRecords[i]->m_pszText == text)
            return static_cast<int>(i);
    return -1;
}

VarnMenu* VarnMenu::GetSubMenu(const QString& text)
{
    const int count = GetMenuItemCount();
    for (int i = 0; i < count; ++i) {
        QAction* action = ActionAt(i);
        if (action->menu() && action->text() == text)
            return qobject_cast<VarnMenu*>(action->menu());
    }
    return nullptr;
}

VarnMenu* VarnMenu::FindPopupByText(const QString& text)
{
    EnsureRecords();
    for (const auto& record : m_ItemRecords) {
        if (!record->m_pPopup)
            continue;
        if ((record->m_nFlags & MF_OWNERDRAW) && record->m_pszText == text)
            return record->m_pPopup;
        if (VarnMenu* found = record->m_pPopup->FindPopupByText(text))
            return found;
    }
    return nullptr;
}

// ---- removing -------------------------------------------------------------------------------

BOOL VarnMenu::RemoveItem(UINT position, UINT flags)
{
    return RemoveOrDelete(position, flags, Removal::Remove);
}

BOOL VarnMenu::DeleteItem(UINT position, UINT flags)
{
    return RemoveOrDelete(position, flags, Removal::Delete);
}

BOOL VarnMenu::RemoveOrDelete(UINT position, UINT flags, Removal how)
{
    if (!(flags & MF_BYPOSITION)) {
        int found = -1;
        VarnMenu* holder = FindCommandItem(position, found);
        return holder ? holder->RemoveOrDelete(static_cast<UINT>(found), flags | MF_BYPOSITION, how) : FALSE;
    }
    EnsureRecords();
    QAction* action = ActionAt(static_cast<int>(position));
    if (!action)
        return FALSE;
    auto eraseRecord = [this](auto match) {
        const auto it = std::find_if(m_ItemRecords.begin(), m_ItemRecords.end(), match);
        if (it != m_ItemRecords.end())
            m_ItemRecords.erase(it);
    };
    if (action->menu()) {
        auto* popup = qobject_cast<VarnMenu*>(action->menu());
        removeAction(action);
        if (popup) {
            g_VarnMenuPopups.erase(
                std::remove(g_VarnMenuPopups.begin(), g_VarnMenuPopups.end(), popup), g_VarnMenuPopups.end());
            for (int i = popup->GetMenuItemCount() - 1; i >= 0; --i)
                popup->RemoveOrDelete(static_cast<UINT>(i), MF_BYPOSITION, how);
            const auto rit = std::find_if(m_ItemRecords.rbegin(), m_ItemRecords.rend(),
                [popup](const auto& record) { return record->m_pPopup == popup; });
            if (rit != m_ItemRecords.rend())
                m_ItemRecords.erase(std::next(rit).base());
            const auto own = std::find_if(
                m_OwnPopups.begin(), m_OwnPopups.end(), [popup](const auto& p) { return p.get() == popup; });
            if (own != m_OwnPopups.end()) {
                std::unique_ptr<VarnMenu> gone = std::move(*own);
                m_OwnPopups.erase(own);
            }
        }
    } else if (action->isSeparator()) {
        const size_t at = position;
        if (at < m_ItemRecords.size() && (how == Removal::Remove || m_ItemRecords[at]->m_pszText.isEmpty()))
            m_ItemRecords.erase(m_ItemRecords.begin() + static_cast<std::ptrdiff_t>(at));
        removeAction(action);
        if (action->parent() == this)
            action->deleteLater();
    } else {
        const UINT command = action->data().toUInt();
        const size_t at = position;
        if (at < m_ItemRecords.size() && m_ItemRecords[at]->m_pAction == action)
            m_ItemRecords.erase(m_ItemRecords.begin() + static_cast<std::ptrdiff_t>(at));
        else
            eraseRecord([command](const auto& record) {
                return !record->m_pPopup && !IsSeparatorFlags(record->m_nFlags) && record->m_nCommand == command;
            });
        removeAction(action);
        if (action->parent() == this)
            action->deleteLater();
    }
    m_recordsStale = static_cast<size_t>(GetMenuItemCount()) != m_ItemRecords.size();
    return TRUE;
}

int VarnMenu::RemoveOrDeleteByText(const QString& text, int mode, Removal how)
{
    const int position = FindItemPosition(text);
    if (position < 0)
        return -1;
    RemoveOrDelete(static_cast<UINT>(position), MF_BYPOSITION, how);
    // The item before goes too; the system's text would reach position -1 for a text at 0.
    const int times = (mode == 1 || mode == 2) ? 1 : mode == 3 ? 2 : 0;
    for (int i = 0; i < times && position - 1 >= 0; ++i)
        RemoveOrDelete(static_cast<UINT>(position - 1), MF_BYPOSITION, how);
    return position;
}

int VarnMenu::RemoveItemByText(const QString& text, int mode)
{
    return RemoveOrDeleteByText(text, mode, Removal::Remove);
}

int VarnMenu::DeleteItemByText(const QString& text, int mode)
{
    return RemoveOrDeleteByText(text, mode, Removal::Delete);
}

// ---- images ---------------------------------------------------------------------------------

BOOL VarnMenu::AddResourceImage(ImageList& images, int bitmapResource) const
{
    if (!images.IsCreated())
        images.Create(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
    if (std::optional<QImage> mapped = LoadSystemColorBitmap(bitmapResource))
        return images.Add(*mapped, ImageTransparentColour()) >= 0 ? TRUE : FALSE;
    std::optional<QImage> plain = LoadBitmapResource(bitmapResource);
    if (!plain)
        return FALSE;
    g_bVarnMenuPlainBitmaps = TRUE;
    KeyMagentaToFace(*plain);
    return images.Add(*plain, ImageTransparentColour()) >= 0 ? TRUE : FALSE;
}

void VarnMenu::KeyMagentaToFace(QImage& image)
{
    image = image.convertToFormat(QImage::Format_RGB32);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const QRgb to = qRgb(GetRValue(face), GetGValue(face), GetBValue(face));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) == 0xFF00FF)
                line[x] = to;
    }
}

int VarnMenu::StoreGlobalImage(const ImageList& images, int index, UINT command)
{
    if (!g_VarnMenuImages.IsCreated())
        g_VarnMenuImages.Create(g_nVarnMenuImageWidth, g_nVarnMenuImageHeight);
    const QImage image = images.Image(index);
    if (image.isNull())
        return -1;
    const int existing = FindGlobalImage(command);
    if (existing < 0) {
        const int added = g_VarnMenuImages.Add(image);
        if (added >= 0)
            g_VarnMenuImageCommands.push_back(command);
        return added;
    }
    g_VarnMenuImages.Replace(existing, image);
    return existing;
}

int VarnMenu::FindGlobalImage(UINT command)
{
    const auto it = std::find(g_VarnMenuImageCommands.begin(), g_VarnMenuImageCommands.end(), command);
    return it == g_VarnMenuImageCommands.end() ? -1 : static_cast<int>(it - g_VarnMenuImageCommands.begin());
}

BOOL VarnMenu::CopyImage(const ImageList* source, int index, ImageList& target)
{
    if (!source || index < 0)
        return FALSE;
    const QImage image = source->Image(index);
    if (image.isNull())
        return FALSE;
    target.Create(image.width(), image.height());
    target.Add(image);
    return TRUE;
}
