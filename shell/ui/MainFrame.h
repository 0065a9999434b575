#pragma once
// The program's main window: menu, toolbar, status bar and the two fixed panes, the main view
// on the left and the device header pane on the right at its natural width (widening the window
// widens the main view). It opens 940 by 610 pixels, centred on the primary screen, and cannot
// be made smaller than its buttons, panes and status panes need.

#include "platform/WinTypes.h"
#include "controls/ui/menu/VarnMenu.h"
#include "platform/ui/CommandTable.h"

#include <QMainWindow>
#include <QWidget>

class CStatusBar;
class CTonrigView;
class CView2Header;
class QToolBar;

// The fixed 1 by 2 split: the right pane (the header) gets its natural width, from its fields'
// size hints, and the left pane the rest; there is no handle to drag. Neither pane is ever made
// narrower than it can show: the split's minimum size is the left pane's minimum beside the
// right pane's natural width.
class CViewSplitter : public QWidget {
    Q_OBJECT
public:
    explicit CViewSplitter(QWidget* parent = nullptr);
    void SetPanes(QWidget* left, QWidget* right);
    QWidget* GetPane(int row, int column) const;
    // The right pane's width in a split `width` pixels wide.
    int RightWidth(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Layout();
    QWidget* m_left = nullptr;
    QWidget* m_right = nullptr;
};

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 940;
    static constexpr int kHeight = 610;

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
    // Closing the window (Exit, Alt+F4, the close button) asks the view first: a running
    // operation, edited buffers and an edited script; then the view's workers and link watch stop.
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
