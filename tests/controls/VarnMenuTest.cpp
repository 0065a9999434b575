// The owner-drawn menu's data model: templates, accelerator padding, records that follow plain Qt
// calls, mnemonics, images bound to commands, the look's conditions and the editing operations.

#include "VarnMenuFixture.h"

#include <QFontMetrics>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

#include <string>
#include <vector>

namespace {

using tonrig::test::VarnMenuTestBase;

class VarnMenuModel : public VarnMenuTestBase { };

std::vector<MenuTemplateItem> TwoLevelTemplate()
{
    return {
        { MF_POPUP, 0, "&File" },
        { 0, 101, "&Open...\tCtrl+O" },
        { MF_SEPARATOR, 0, "" },
        { MF_POPUP, 0, "&Recent" },
        { 0, 102, "First" },
        { MF_END, 103, "Second" },
        { MF_END, 104, "E&xit" },
        { MF_POPUP | MF_END, 0, "&Edit" },
        { 0, 201, "&Find\tCtrl+F" },
        { MF_END, 202, "Find &Next\t\tF3" },
        // After the end of the bar: never read.
        { 0, 999, "Stray" },
    };
}

QString Texts(VarnMenu& menu)
{
    QStringList out;
    for (const auto& record : menu.ItemRecords())
        out << record->m_pszText;
    return out.join('|');
}

TEST_F(VarnMenuModel, TemplatesNestPopupsAndEndWhereTheMarksSay)
{
    VarnMenu::RegisterMenuTemplate(7001, TwoLevelTemplate());
    VarnMenu bar;
    ASSERT_TRUE(bar.LoadMenuTemplate(7001));
    EXPECT_TRUE(bar.IsLoadedFromTemplate());

    // The bar: two plain popup items.
    ASSERT_EQ(bar.ItemRecords().size(), 2u);
    for (const auto& record : bar.ItemRecords()) {
        EXPECT_EQ(record->m_nFlags, MF_BYPOSITION | MF_POPUP);
        EXPECT_TRUE(VarnMenu::IsOwnMenu(record->m_pPopup.data()));
    }
    VarnMenu* file = bar.OwnPopups()[0].get();
    VarnMenu* edit = bar.OwnPopups()[1].get();
    EXPECT_EQ(file->title(), "&File");
    EXPECT_EQ(edit->title(), "&Edit");

    // File: a command, a separator, a nested popup, a command after it.
    ASSERT_EQ(file->ItemRecords().size(), 4u);
    const auto& f = file->ItemRecords();
    EXPECT_EQ(f[0]->m_nCommand, 101u);
    EXPECT_EQ(f[0]->m_nFlags, MF_OWNERDRAW);
    EXPECT_TRUE(f[0]->m_pszText.startsWith("&Open..."));
    EXPECT_TRUE(f[1]->m_pAction->isSeparator());
    EXPECT_EQ(f[1]->m_nFlags, MF_OWNERDRAW | MF_SEPARATOR);
    EXPECT_EQ(f[2]->m_nFlags, MF_POPUP | MF_OWNERDRAW);
    ASSERT_TRUE(f[2]->m_pPopup);
    EXPECT_EQ(Texts(*f[2]->m_pPopup), "First|Second");
    EXPECT_EQ(f[3]->m_nCommand, 104u);
    EXPECT_EQ(f[3]->m_pszText, "E&xit");
    EXPECT_EQ(edit->ItemRecords().size(), 2u);
    EXPECT_EQ(edit->ItemRecords()[1]->m_nCommand, 202u);

    // The stray item after the end is nowhere.
    int position = -1;
    EXPECT_EQ(bar.FindCommandItem(999, position), nullptr);
    EXPECT_EQ(position, -1);
    EXPECT_EQ(g_VarnMenuPopups.size(), 3u);

    // Popup and last child both marked: both levels close and the parse ends.
    VarnMenu::RegisterMenuTemplate("NESTED",
        { { MF_POPUP | MF_END, 0, "&Only" }, { MF_POPUP | MF_END, 0, "&Inner" }, { MF_END, 301, "Deep" },
            { 0, 302, "Never" } });
    VarnMenu nested;
    ASSERT_TRUE(nested.LoadMenuTemplate(QString("nested")));
    ASSERT_EQ(nested.OwnPopups().size(), 1u);
    VarnMenu* only = nested.OwnPopups()[0].get();
    ASSERT_EQ(only->ItemRecords().size(), 1u);
    EXPECT_EQ(Texts(*only->ItemRecords()[0]->m_pPopup), "Deep");
    EXPECT_EQ(nested.FindCommandItem(302, position), nullptr);

    // Loading again replaces the tree: the popups of the first load are gone.
    ASSERT_TRUE(bar.LoadMenuTemplate(7001));
    EXPECT_EQ(g_VarnMenuPopups.size(), 5u);
}

TEST_F(VarnMenuModel, ATemplateWithoutItsEndLoadsNothing)
{
    VarnMenu::RegisterMenuTemplate(7002, { { MF_POPUP | MF_END, 0, "&File" }, { 0, 101, "Open" } });
    VarnMenu bar;
    EXPECT_FALSE(bar.LoadMenuTemplate(7002));
    EXPECT_EQ(bar.GetMenuItemCount(), 0);
    EXPECT_TRUE(bar.ItemRecords().empty());
    EXPECT_TRUE(bar.OwnPopups().empty());
    EXPECT_TRUE(g_VarnMenuPopups.empty());
    EXPECT_FALSE(bar.LoadMenuTemplate(4242)); // not registered
    EXPECT_FALSE(bar.LoadMenuTemplate(QString("MISSING")));
}

TEST_F(VarnMenuModel, AcceleratorsArePaddedToOneColumn)
{
    VarnMenu::RegisterMenuTemplate(7003,
        { { MF_POPUP | MF_END, 0, "&File" }, { 0, 1, "&Open...\tCtrl+O" }, { 0, 2, "Save &As..." },
            { 0, 3, "A much longer label" }, { MF_END, 4, "Find &Next\t\tF3" } });
    VarnMenu bar;
    ASSERT_TRUE(bar.LoadMenuTemplate(7003));
    VarnMenu* file = bar.OwnPopups()[0].get();
    const QFontMetrics fm(QFont("DejaVu Sans", 9));
    const int widest = fm.horizontalAdvance("A much longer label ");
    const auto& r = file->ItemRecords();

    const QString open = r[0]->m_pszText;
    ASSERT_TRUE(open.endsWith("\tCtrl+O"));
    const QString openLabel = open.left(open.indexOf('\t'));
    EXPECT_TRUE(openLabel.startsWith("&Open... "));
    EXPECT_GE(fm.horizontalAdvance(openLabel), widest);
    EXPECT_LT(fm.horizontalAdvance(openLabel.chopped(1)), widest); // no blank more than needed
    EXPECT_EQ(r[1]->m_pszText, "Save &As...");
    EXPECT_EQ(r[2]->m_pszText, "A much longer label");
    const QString next = r[3]->m_pszText;
    ASSERT_TRUE(next.endsWith("\t\tF3"));
    const QString nextLabel = next.left(next.indexOf('\t'));
    EXPECT_TRUE(nextLabel.startsWith("Find &Next "));
    EXPECT_GE(fm.horizontalAdvance(nextLabel), widest);
    EXPECT_LT(fm.horizontalAdvance(nextLabel.chopped(1)), widest);

    // Two openings keep the padding: the actions' own texts never changed.
    for (int i = 0; i < 2; ++i) {
        file->popup(QPoint(0, 0));
        file->hide();
    }
    EXPECT_EQ(r[0]->m_pszText, open);
    EXPECT_EQ(file->ItemRecords()[3]->m_pszText, next);

    // A blank that adds no width ends the padding.
    VarnMenu::SetTextMeasure([](const QString& s) { return static_cast<int>(s.trimmed().size()) * 7; });
    ASSERT_TRUE(bar.LoadMenuTemplate(7003));
    EXPECT_EQ(bar.OwnPopups()[0]->ItemRecords()[0]->m_pszText, "&Open...\tCtrl+O");
}

TEST_F(VarnMenuModel, RecordsFollowPlainQtCallsAtTheNextOpening)
{
    VarnMenu bar;
    VarnMenu* popup = bar.AppendPopup("&Tools");
    ASSERT_NE(popup, nullptr);
    QAction* detect = Shared(11, "&Detect", "Ctrl+D");
    ASSERT_TRUE(popup->AppendItem("&Detect\tCtrl+D", 0, 11));
    EXPECT_EQ(popup->ItemRecords().back()->m_pAction, detect);

    QAction* plain = popup->addAction("&Plain item");
    plain->setData(12);
    QAction* hidden = popup->addAction("Hidden");
    hidden->setVisible(false);
    QAction* gone = popup->addAction("Gone");
    popup->popup(QPoint(0, 0));
    popup->hide();
    EXPECT_EQ(Texts(*popup), "&Detect\tCtrl+D|&Plain item|Gone");
    EXPECT_EQ(popup->ItemRecords()[1]->m_nCommand, 12u);
    EXPECT_EQ(popup->ItemRecords()[1]->m_nFlags, MF_BYPOSITION | MF_OWNERDRAW);

    popup->removeAction(gone);
    detect->setText("&Detect hardware");
    plain->setEnabled(false);
    hidden->setVisible(true);
    popup->popup(QPoint(0, 0));
    popup->hide();
    EXPECT_EQ(Texts(*popup), "&Detect hardware\tCtrl+D|&Plain item|Hidden");
    EXPECT_EQ(popup->ItemRecords()[1]->m_nFlags, MF_BYPOSITION | MF_OWNERDRAW | MF_GRAYED);
    EXPECT_EQ(popup->RecordFor(hidden), popup->ItemRecords()[2].get());
    delete gone;
}

TEST_F(VarnMenuModel, MnemonicsFindTheFirstMatchingItem)
{
    VarnMenu menu;
    menu.AppendItem("&Read\tCtrl+R", 0, 1);
    menu.AppendItem("R&&D &Tools", 0, 2);
    menu.AppendItem("&Erase", 0, 3);
    menu.AppendItem("&Eject", 0, 4);
    struct Case {
        QChar key;
        LRESULT want;
    };
    const Case cases[]
        = { { 'e', 0x20002 }, { 'E', 0x20002 }, { 't', 0x20001 }, { 'd', 0 }, { 'q', 0 }, { 'r', 0x20000 } };
    for (const Case& c : cases)
        EXPECT_EQ(VarnMenu::FindShortcutKey(c.key, MF_POPUP, &menu), c.want) << c.key.toLatin1();
    EXPECT_EQ(VarnMenu::FindShortcutKey('e', 0, &menu), 0);
    EXPECT_EQ(VarnMenu::FindShortcutKey('e', MF_POPUP, nullptr), 0);

    // Typed into the open popup, a repeated mnemonic runs its first item at once.
    QSignalSpy triggered(&menu, &QMenu::triggered);
    menu.popup(QPoint(0, 0));
    QTest::keyClick(&menu, Qt::Key_E);
    ASSERT_EQ(triggered.count(), 1);
    EXPECT_EQ(triggered.at(0).at(0).value<QAction*>()->data().toUInt(), 3u);
    EXPECT_FALSE(menu.isVisible());

    // A hidden item is no position: the next one takes its place.
    menu.ActionAt(0)->setVisible(false);
    EXPECT_EQ(VarnMenu::FindShortcutKey('t', MF_POPUP, &menu), 0x20000);
    EXPECT_EQ(VarnMenu::FindShortcutKey('r', MF_POPUP, &menu), 0);
}

TEST_F(VarnMenuModel, TheLookFollowsVersionClassAndTheme)
{
    tonrig::test::ScopedSettingsFile settings;
    auto setTheme = [](const std::string& name) {
        platform::SettingsStore::Instance().SetValue(
            "Software\\Microsoft\\Plus!\\Themes\\Current", "", platform::SettingValue::String(name));
        ResetClassicThemeCache();
    };
    EXPECT_EQ(GetWindowsVersionClass(), 1);
    EXPECT_FALSE(IsClassicThemeActive());
    g_nVarnMenuDrawModeThemed = 5;
    g_nVarnMenuDrawModeOther = 6;
    struct Case {
        int versionClass;
        std::string theme;
        int mode;
    };
    const Case cases[] = {
        { 7, "C:\\Themes\\Luna.theme", 5 },
        { 7, "C:\\Windows\\Resources\\Themes\\WINDOWS CLASSIC.THEME", 6 },
        { 6, "C:\\Themes\\Luna.theme", 6 },
        { 1, "", 6 },
        { 0, "", 6 },
    };
    for (const Case& c : cases) {
        setTheme(c.theme);
        g_nWindowsVersionClass = c.versionClass;
        EXPECT_EQ(VarnMenu::ActiveDrawMode(), c.mode) << c.versionClass << " " << c.theme;
    }
    // The answer is kept until the cache is reset.
    setTheme("Windows Classic.theme");
    EXPECT_TRUE(IsClassicThemeActive());
    platform::SettingsStore::Instance().SetValue(
        "Software\\Microsoft\\Plus!\\Themes\\Current", "", platform::SettingValue::String("Luna.theme"));
    EXPECT_TRUE(IsClassicThemeActive());
    VarnMenu::SelectDrawStyle(1);
    EXPECT_TRUE(VarnMenu::IsXPStyle());
    EXPECT_FALSE(VarnMenu::IsNewShell());
}

class VarnMenuImages : public VarnMenuTestBase { };

TEST_F(VarnMenuImages, BitmapsBindToCommandsInTheSharedList)
{
    VarnMenu menu;
    VarnMenu* file = menu.AppendPopup("&File");
    VarnMenu* edit = menu.AppendPopup("&Edit");
    Shared(57603, "&Save");
    Shared(57604, "Save &As...");
    Shared(32947, "&Find");
    file->AppendItem("&Save", 0, 57603);
    file->AppendItem("Save &As...", 0, 57604);
    file->AppendItem("&Find", 0, 32947);
    edit->AppendItem("&Find", 0, 32947);

    // The built-in 308 on two commands: two shared images.
    EXPECT_TRUE(menu.SetItemImage(std::nullopt, 57603, 308));
    EXPECT_TRUE(menu.SetItemImage(std::nullopt, 57604, 308));
    EXPECT_EQ(g_VarnMenuImages.GetImageCount(), 2);
    EXPECT_EQ(g_VarnMenuImageCommands, (std::vector<UINT> { 57603, 57604 }));
    EXPECT_EQ(menu.FindItemRecord(57603)->m_nGlobalImage, 0);
    EXPECT_EQ(menu.FindItemRecord(57604)->m_nGlobalImage, 1);
    EXPECT_EQ(g_VarnMenuImages.Image(0), g_VarnMenuImages.Image(1));
    EXPECT_FALSE(g_bVarnMenuPlainBitmaps);
    // Its face pixels are transparent, its black outline the button text colour.
    const QImage save = g_VarnMenuImages.Image(0);
    EXPECT_EQ(qAlpha(save.pixel(0, 0)), 0);
    EXPECT_EQ(platform::FromQColor(save.pixelColor(1, 1)), GetSysColor(COLOR_BTNTEXT));

    // Rebinding replaces the command's image in place.
    EXPECT_TRUE(menu.SetItemImage(std::nullopt, 57604, 309));
    EXPECT_EQ(g_VarnMenuImages.GetImageCount(), 2);
    EXPECT_NE(g_VarnMenuImages.Image(1), g_VarnMenuImages.Image(0));

    // A command in two popups: image and text on both items; each popup keeps its own record.
    EXPECT_TRUE(menu.SetItemImage(QString("&Find\tCtrl+F"), 32947, 309));
    VarnMenuItemRecord* inFile = file->ItemRecords()[2].get();
    VarnMenuItemRecord* inEdit = edit->ItemRecords()[0].get();
    EXPECT_NE(inFile, inEdit);
    EXPECT_EQ(inFile->m_pszText, "&Find\tCtrl+F");
    EXPECT_EQ(inEdit->m_pszText, "&Find\tCtrl+F");
    EXPECT_EQ(inFile->m_nGlobalImage, 2);
    EXPECT_EQ(inEdit->m_nGlobalImage, 2);
    file->RebuildItemRecords();
    EXPECT_EQ(edit->ItemRecords()[0].get(), inEdit);
    EXPECT_TRUE(file->RemoveItem(32947, MF_BYCOMMAND));
    EXPECT_EQ(file->ItemRecords().size(), 2u);
    ASSERT_EQ(edit->ItemRecords().size(), 1u);
    EXPECT_EQ(edit->ItemRecords()[0]->m_pszText, "&Find\tCtrl+F");
    EXPECT_EQ(edit->ActionAt(0), shared[32947].get());

    // An item appended later for a command with an image shows it without naming one.
    edit->AppendItem("Save again", 0, 57603);
    EXPECT_EQ(edit->ItemRecords().back()->m_nGlobalImage, 0);
    // Even one added by a plain Qt call.
    QAction* plain = edit->addAction("Save As, plainly");
    plain->setData(57604);
    EXPECT_EQ(edit->RecordFor(plain)->m_nGlobalImage, 1);

    // A bitmap that does not exist leaves the item without an image.
    file->AppendItem("No image", 0, 5555, 4711);
    EXPECT_EQ(file->ItemRecords().back()->m_nGlobalImage, -1);
}

TEST_F(VarnMenuImages, SixteenColourBitmapsTakeTheSystemColoursOthersKeyMagenta)
{
    struct Case {
        const char* name;
        QImage image;
        QPoint probe;
        COLORREF want; // at the probe; the corner is always transparent
        bool plain;
    };
    QImage magenta(16, 15, QImage::Format_RGB888);
    magenta.fill(QColor(255, 0, 255));
    magenta.setPixelColor(5, 6, QColor(10, 200, 30));
    const std::vector<Case> cases = {
        { "black", SixteenColours(0x000000), { 2, 3 }, GetSysColor(COLOR_BTNTEXT), false },
        { "dark grey", SixteenColours(0x808080), { 2, 3 }, GetSysColor(COLOR_BTNSHADOW), false },
        { "white", SixteenColours(0xFFFFFF), { 2, 3 }, GetSysColor(COLOR_BTNHIGHLIGHT), false },
        { "red stays", SixteenColours(0xFF0000), { 2, 3 }, RGB(255, 0, 0), false },
        { "24-bit", magenta, { 5, 6 }, RGB(10, 200, 30), true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_bVarnMenuPlainBitmaps = FALSE;
        WriteBitmap(9100, c.image);
        VarnMenu menu;
        ImageList list;
        ASSERT_TRUE(menu.AddResourceImage(list, 9100));
        ASSERT_EQ(list.GetImageCount(), 1);
        const QImage got = list.Image(0);
        EXPECT_EQ(qAlpha(got.pixel(0, 0)), 0);
        EXPECT_EQ(platform::FromQColor(got.pixelColor(c.probe)), c.want);
        EXPECT_EQ(qAlpha(got.pixel(c.probe)), 255);
        EXPECT_EQ(g_bVarnMenuPlainBitmaps, c.plain ? TRUE : FALSE);
    }
    RemoveBitmap(9100);

    // The check bitmaps: nothing unless both are given.
    VarnMenu menu;
    menu.LoadCheckBitmaps(0, 308);
    EXPECT_EQ(menu.m_pCheckImages, nullptr);
    EXPECT_EQ(menu.m_nUnselectedCheckBitmap, -1);
    EXPECT_EQ(menu.m_nSelectedCheckBitmap, -1);
    menu.LoadCheckBitmaps(307, 308);
    ASSERT_NE(menu.m_pCheckImages, nullptr);
    EXPECT_EQ(menu.m_pCheckImages->GetImageCount(), 2);
    // A popup made afterwards borrows the list.
    VarnMenu* sub = menu.AppendPopup("Sub");
    EXPECT_EQ(sub->m_pCheckImages, menu.m_pCheckImages);
    EXPECT_TRUE(sub->m_bCheckImagesShared);
    menu.LoadCheckBitmaps(306, 4711);
    EXPECT_EQ(menu.m_pCheckImages, nullptr);
}

TEST_F(VarnMenuImages, ToolbarsSwatchesAndOwnImages)
{
    // A toolbar strip of three images, each with a mark of its own.
    QImage strip(48, 15, QImage::Format_RGB888);
    strip.fill(QColor(255, 0, 255));
    const QColor marks[] = { QColor(200, 0, 0), QColor(0, 200, 0), QColor(0, 0, 200) };
    for (int i = 0; i < 3; ++i)
        strip.setPixelColor(16 * i + 4, 4, marks[i]);
    WriteBitmap(9200, strip);
    VarnMenu::RegisterToolbarResource(9200, { 41, 0, 42, 43 });

    VarnMenu menu;
    menu.AppendItem("One", 0, 41);
    menu.AppendItem("Two", 0, 42);
    menu.AppendItem("Three", 0, 43, 9200); // the image number of 43 in toolbar 9200 is 2
    EXPECT_EQ(g_VarnMenuImages.Image(menu.FindItemRecord(43)->m_nGlobalImage).pixelColor(4, 4), marks[2]);

    EXPECT_TRUE(menu.LoadToolbarImages(9200));
    EXPECT_EQ(g_VarnMenuImages.Image(menu.FindItemRecord(41)->m_nGlobalImage).pixelColor(4, 4), marks[0]);
    EXPECT_EQ(g_VarnMenuImages.Image(menu.FindItemRecord(42)->m_nGlobalImage).pixelColor(4, 4), marks[1]);
    EXPECT_FALSE(menu.LoadToolbarList({ 9200, 4711 }));
    EXPECT_FALSE(menu.LoadToolbarImages(4711));

    // A live toolbar: own lists, the image number counted over its buttons.
    QToolBar toolbar;
    toolbar.addAction("a")->setData(42);
    toolbar.addSeparator();
    toolbar.addAction("b")->setData(41);
    menu.BindToolbarImages(&toolbar, 9200);
    const VarnMenuItemRecord* two = menu.FindItemRecord(42);
    EXPECT_EQ(two->m_nImageResource, 9200);
    EXPECT_EQ(two->m_nImageIndex, 0);
    ASSERT_NE(two->m_pImages, nullptr);
    EXPECT_EQ(two->m_pImages->GetImageCount(), 3);
    EXPECT_EQ(menu.FindItemRecord(41)->m_nImageIndex, 1);
    RemoveBitmap(9200);

    // A colour swatch, smaller than the image: background around it, border and fill inside.
    menu.AppendItem("Colour", 0, 44);
    const QImage swatch = menu.PaintColorSwatch(RGB(0, 0, 255), RGB(255, 0, 0), std::nullopt, QSize(10, 9));
    EXPECT_EQ(platform::FromQColor(swatch.pixelColor(0, 0)), GetSysColor(COLOR_MENU));
    EXPECT_EQ(swatch.pixelColor(3, 3), QColor(255, 0, 0));
    EXPECT_EQ(swatch.pixelColor(12, 11), QColor(255, 0, 0));
    EXPECT_EQ(swatch.pixelColor(13, 12), platform::ToQColor(GetSysColor(COLOR_MENU)));
    EXPECT_EQ(swatch.pixelColor(7, 7), QColor(0, 0, 255));
    EXPECT_TRUE(menu.SetItemColor(std::nullopt, 44, RGB(0, 0, 255), RGB(255, 0, 0), std::nullopt, QSize(10, 9)));
    EXPECT_EQ(g_VarnMenuImages.Image(menu.FindItemRecord(44)->m_nGlobalImage).pixelColor(7, 7), QColor(0, 0, 255));

    // An item's own image found by its text; the list form copies the indexed image.
    EXPECT_TRUE(menu.SetItemImageByText(QString("Renamed"), "One", 307));
    const VarnMenuItemRecord* one = menu.FindItemRecordByText("Renamed");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->m_nImageResource, 307);
    EXPECT_EQ(one->m_nImageIndex, 0);
    EXPECT_FALSE(menu.SetItemImageByText(std::nullopt, "Nothing", 307));
    ImageList list(16, 15);
    list.Add(strip, RGB(255, 0, 255));
    menu.AppendItem("Own", 0, 45, &list, 1);
    const VarnMenuItemRecord* own = menu.FindItemRecord(45);
    EXPECT_EQ(own->m_nImageResource, 0);
    ASSERT_NE(own->m_pImages, nullptr);
    EXPECT_EQ(own->m_pImages->Image(0).pixelColor(4, 4), marks[1]);
}

class VarnMenuEditing : public VarnMenuTestBase { };

TEST_F(VarnMenuEditing, ItemsGoByCommandPositionAndText)
{
    VarnMenu bar;
    VarnMenu* popup = bar.AppendPopup("&Setting");
    auto fill = [&] {
        while (popup->GetMenuItemCount() > 0)
            popup->RemoveItem(0, MF_BYPOSITION);
        popup->AppendItem("A", 0, 1);
        popup->AppendItem("", 0, 0);
        popup->AppendItem("B", 0, 2);
        popup->AppendItem("C", 0, 3);
    };
    struct Case {
        const char* name;
        std::function<int()> run;
        int result;
        QString left;
    };
    const std::vector<Case> cases = {
        { "by command", [&] { return popup->RemoveItem(2, MF_BYCOMMAND); }, TRUE, "A||C" },
        { "by command from the top", [&] { return bar.DeleteItem(3, MF_BYCOMMAND); }, TRUE, "A||B" },
        { "an absent command", [&] { return bar.RemoveItem(77, MF_BYCOMMAND); }, FALSE, "A||B|C" },
        { "by position", [&] { return popup->RemoveItem(1, MF_BYPOSITION); }, TRUE, "A|B|C" },
        { "past the end", [&] { return popup->RemoveItem(9, MF_BYPOSITION); }, FALSE, "A||B|C" },
        { "text, mode 0", [&] { return popup->RemoveItemByText("B", 0); }, 2, "A||C" },
        { "text, mode 1", [&] { return popup->RemoveItemByText("B", 1); }, 2, "A|C" },
        // The third removal takes what moved up to position 1.
        { "text, mode 3", [&] { return popup->DeleteItemByText("B", 3); }, 2, "A" },
        { "text at 0, mode 1", [&] { return popup->RemoveItemByText("A", 1); }, 0, "|B|C" },
        { "text at 0, mode 3", [&] { return popup->DeleteItemByText("A", 3); }, 0, "|B|C" },
        { "text at 1, mode 3", [&] { return popup->RemoveItemByText("", 3); }, 1, "C" },
        { "no such text", [&] { return popup->RemoveItemByText("Z", 1); }, -1, "A||B|C" },
    };
    for (const Case& c : cases) {
        fill();
        EXPECT_EQ(c.run(), c.result) << c.name;
        EXPECT_EQ(Texts(*popup), c.left) << c.name;
        EXPECT_EQ(popup->GetMenuItemCount(), static_cast<int>(popup->ItemRecords().size())) << c.name;
    }

    // Texts by position and by command; insertion before a command.
    fill();
    QString text;
    EXPECT_TRUE(bar.GetItemText(2, text, MF_BYCOMMAND));
    EXPECT_EQ(text, "B");
    EXPECT_TRUE(bar.SetItemText(3, "C2", MF_BYCOMMAND));
    EXPECT_TRUE(popup->GetItemText(3, text, MF_BYPOSITION));
    EXPECT_EQ(text, "C2");
    EXPECT_FALSE(popup->GetItemText(4, text, MF_BYPOSITION));
    EXPECT_TRUE(bar.InsertItem(2, "Before B", 0, 5));
    EXPECT_EQ(Texts(*popup), "A||Before B|B|C2");
    EXPECT_FALSE(bar.InsertItem(99, "Nowhere", 0, 6));
    EXPECT_TRUE(popup->InsertMenu(0, MF_BYPOSITION, 7, "First"));
    EXPECT_TRUE(popup->AppendMenu(MF_STRING, 0, "ignored text"));
    EXPECT_EQ(Texts(*popup), "First|A||Before B|B|C2|ignored text");
    EXPECT_TRUE(popup->ItemRecords().back()->m_pAction->isSeparator());
    EXPECT_EQ(popup->FindItemPosition("Before B"), 3);
    EXPECT_EQ(bar.FindItemPosition("&Setting"), -1); // the bar holds popups only

    // A removed popup takes its menu and records with it.
    QPointer<VarnMenu> sub = popup->AppendPopup("&More");
    sub->AppendItem("Deep", 0, 8);
    EXPECT_EQ(bar.FindPopupByText("&More"), sub.data());
    EXPECT_EQ(bar.GetSubMenu("&Setting"), popup);
    EXPECT_TRUE(VarnMenu::IsOwnMenu(sub.data()));
    const QMenu* raw = sub.data();
    EXPECT_TRUE(bar.DeleteItem(8, MF_BYCOMMAND));
    EXPECT_TRUE(popup->RemoveItem(static_cast<UINT>(popup->GetMenuItemCount() - 1), MF_BYPOSITION));
    EXPECT_TRUE(sub.isNull());
    EXPECT_FALSE(VarnMenu::IsOwnMenu(raw));
    EXPECT_EQ(std::count(g_VarnMenuPopups.begin(), g_VarnMenuPopups.end(), raw), 0);
    EXPECT_EQ(bar.FindPopupByText("&More"), nullptr);
    EXPECT_EQ(popup->GetMenuItemCount(), static_cast<int>(popup->ItemRecords().size()));
}

} // namespace
