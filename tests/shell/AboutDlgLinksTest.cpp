// The About box's four links: each a hyperlink label that opens its own target.

#include "controls/ui/StaticLink.h"
#include "platform/Process.h"
#include "shell/ui/AboutDlg.h"

#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(AboutBox, ItsFourLinksOpenTheirTargets)
{
    std::vector<std::string> opened;
    platform::SetDesktopOpener([&](const std::string& target) {
        opened.push_back(target);
        return platform::OpenResult { true, {} };
    });
    CAboutDlg dlg;
    dlg.show();
    for (int id : { CAboutDlg::IDC_WEBSITE, CAboutDlg::IDC_EMAIL, CAboutDlg::IDC_FORUM, CAboutDlg::IDC_DOWNLOAD }) {
        SCOPED_TRACE(id);
        auto* link = dlg.findChild<CStaticLink*>(QString::number(id));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->toolTip().toStdString(), dlg.LinkTarget(id));
        QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(2, 2));
        ASSERT_FALSE(opened.empty());
        EXPECT_EQ(opened.back(), dlg.LinkTarget(id));
        EXPECT_TRUE(link->IsVisited());
    }
    EXPECT_EQ(opened.size(), 4u);
    EXPECT_EQ(dlg.LinkTarget(CAboutDlg::IDC_WEBSITE), kTonrigHomePage);
    EXPECT_EQ(dlg.findChild<CStaticLink*>(QString::number(CAboutDlg::IDC_MAKER)), nullptr);
    platform::SetDesktopOpener({});
}
