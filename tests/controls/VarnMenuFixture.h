#pragma once
// What the owner-drawn menu's tests share: Fusion, the test palette, a DejaVu menu font, the
// menu's class-wide state put back after each test, shared command actions and bitmap files
// of the test's own.

#include "controls/ui/menu/VarnMenu.h"

#include "platform/Folders.h"
#include "platform/SettingsStore.h"
#include "platform/ui/GdiShim.h"
#include "platform/ui/QtServices.h"

#include "support/TestEnvironment.h"
#include "support/TestPalette.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QStyle>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace tonrig::test {

class VarnMenuTestBase : public testing::Test {
protected:
    void SetUp() override
    {
        if (QApplication::style()->name().compare("fusion", Qt::CaseInsensitive) != 0)
            QApplication::setStyle(QStyleFactory::create("Fusion"));
        m_palette = std::make_unique<ScopedTestPalette>();
        m_menuFont = QApplication::font("QMenu");
        QApplication::setFont(QFont("DejaVu Sans", 9), "QMenu");
        ResetGlobals();
        VarnMenu::SetCommandActions([this](UINT id) -> QAction* {
            auto it = shared.find(id);
            return it == shared.end() ? nullptr : it->second.get();
        });
    }
    void TearDown() override
    {
        VarnMenu::SetCommandActions({});
        ResetGlobals();
        QApplication::setFont(m_menuFont, "QMenu");
        m_palette.reset();
    }
    static void ResetGlobals()
    {
        g_VarnMenuImages = ImageList();
        g_VarnMenuImageCommands.clear();
        g_bVarnMenuPlainBitmaps = FALSE;
        g_nWindowsVersionClass = 1;
        g_nVarnMenuDrawModeThemed = 1;
        g_nVarnMenuDrawModeOther = 0;
        VarnMenu::SetImageSize(16, 15);
        VarnMenu::SetTextMeasure({});
        ResetClassicThemeCache();
    }

    // A command action the menus share, as the command table's are.
    QAction* Shared(UINT id, const QString& text, const QString& shortcut = {})
    {
        auto action = std::make_unique<QAction>(text);
        action->setData(id);
        if (!shortcut.isEmpty())
            action->setShortcut(QKeySequence(shortcut));
        QAction* raw = action.get();
        shared[id] = std::move(action);
        return raw;
    }

    // Writes a bitmap the resource loader finds before the built-in ones.
    static void WriteBitmap(int number, const QImage& image)
    {
        const QString dir = QString::fromStdString(GetAppDataFolder()) + "/Resources/BITMAP";
        QDir().mkpath(dir);
        ASSERT_TRUE(image.save(dir + "/" + QString::number(number), "BMP"));
    }
    static void RemoveBitmap(int number)
    {
        QFile::remove(QString::fromStdString(GetAppDataFolder()) + "/Resources/BITMAP/" + QString::number(number));
    }

    // A 16-colour image: `ink` pixels at (x, 3) for each x in `inkColumns`, the rest face grey.
    static QImage SixteenColours(QRgb ink)
    {
        QImage image(16, 15, QImage::Format_Indexed8);
        QList<QRgb> table;
        const QRgb standard[16] = { 0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
            0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF };
        for (QRgb c : standard)
            table.append(0xFF000000u | c);
        image.setColorTable(table);
        image.fill(7);
        const int index = static_cast<int>(table.indexOf(0xFF000000u | ink));
        image.setPixel(2, 3, static_cast<uint>(index));
        return image;
    }

    std::map<UINT, std::unique_ptr<QAction>> shared;

private:
    std::unique_ptr<ScopedTestPalette> m_palette;
    QFont m_menuFont;
};

} // namespace tonrig::test
