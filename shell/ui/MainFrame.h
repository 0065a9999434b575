#pragma once
// The program's main window: menu, toolbar, status bar and the two fixed panes, the main view
// on the left and the device header pane on the right (260 pixels at the start; widening the
// window widens the right pane). It opens 940 by 610 pixels, centred on the primary screen.

#include "platform/WinTypes.h"
#include "controls/ui/menu/VarnMenu.h"
#include "platform/ui/CommandTable.h"

#include <QMainWindow>
#include <QWidget>

class CStatusBar;
class CTonrigView;
class CView2Header;
class QToolBar;

// The fixed 1 by 2 split: the left column keeps its width, the right column takes the rest,
// and there is no handle to drag.
class CViewSplitter : public QWidget {
    Q_OBJECT
public:
    explicit CViewSplitter(QWidget* parent = nullptr);
    void SetPanes(QWidget* left, QWidget* right, int leftWidth);
    QWidget* GetPane(int row, int column) const;
    int LeftWidth() const { return m_leftWidth; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Layout();
    QWidget* m_left = nullptr;
    QWidget* m_right = nullptr;
    int m_leftWidth = 0;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 940;
    static constexpr int kHeight = 610;
    static constexpr int kHeaderPaneWidth = 260;

    CMainFrame();
    ~CMainFrame() override;

    platform::CommandTable& Commands() { return m_commands; }
    CTonrigView* MainView() const { return m_view; }
    CView2Header* HeaderPane() const { return m_header; }
    CViewSplitter* Splitter() const { return m_splitter; }
    CStatusBar* StatusBar() const { return m_statusBar; }
    QToolBar* ToolBar() const { return m_toolBar; }
    VarnMenu* FileMenu() const { return m_fileMenu; }
    // The owner-drawn main menu: its top menu stands for the bar.
    VarnMenu& Menu() { return m_menu; }

    // Does nothing; device setup calls it.
    void SwitchView(int /*viewId*/, int /*show*/) { }

protected:
    // Closing the window stops the view's workers and link watch first.
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateCommands();
    // Loads menu 128 into m_menu, binds the six menu images and puts the popups on the bar.
    VarnMenu* LoadMenuImages();
    void CreateToolBar();
    void CreateClient();
    void MoveFocusToPane(int step);

    platform::CommandTable m_commands;
    VarnMenu m_menu;
    CStatusBar* m_statusBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    CViewSplitter* m_splitter = nullptr;
    CTonrigView* m_view = nullptr;
    CView2Header* m_header = nullptr;
    VarnMenu* m_fileMenu = nullptr;
};

extern CMainFrame* g_pMainFrame;
extern CStatusBar* g_pStatusBar;
// The same status bar, as the panes' writers see it.
extern CStatusBar* g_hStatusBar;
extern CViewSplitter* g_wndSplitter;
