#include "shell/ui/MainFrame.h"

#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "shell/MenuTable.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/ToolbarIcons.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QKeySequence>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

CMainFrame* g_pMainFrame = nullptr;
CStatusBar* g_pStatusBar = nullptr;
CStatusBar* g_hStatusBar = nullptr;
CViewSplitter* g_wndSplitter = nullptr;

namespace {

// Toolbar buttons whose command has no tooltip show none (Qt would fall back to the text).
class NoTooltipFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTip)
            if (auto* button = qobject_cast<QToolButton*>(watched))
                if (QAction* action = button->defaultAction())
                    if (CommandTooltip(action->data().toUInt()).empty())
                        return true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

CViewSplitter::CViewSplitter(QWidget* parent)
    : QWidget(parent)
{
    setObjectName("59648");
}

void CViewSplitter::SetPanes(QWidget* left, QWidget* right)
{
    m_left = left;
    m_right = right;
    updateGeometry();
    Layout();
}

QWidget* CViewSplitter::GetPane(int row, int column) const
{
    if (row != 0)
        return nullptr;
    return column == 0 ? m_left : column == 1 ? m_right : nullptr;
}

int CViewSplitter::RightWidth(int width) const
{
    if (!m_right)
        return 0;
    const int natural = std::max(m_right->sizeHint().width(), m_right->minimumSizeHint().width());
    const int leftMinimum = m_left ? std::max(m_left->minimumSizeHint().width(), 0) : 0;
    // Below the split's minimum the window is only being laid out: the right pane keeps its width.
    return std::max(0, std::min(natural, std::max(width - leftMinimum, m_right->minimumSizeHint().width())));
}

QSize CViewSplitter::sizeHint() const
{
    const QSize left = m_left ? m_left->sizeHint() : QSize();
    const QSize right = m_right ? m_right->sizeHint() : QSize();
    return { std::max(left.width(), 0) + std::max(right.width(), 0), std::max(left.height(), right.height()) };
}

QSize CViewSplitter::minimumSizeHint() const
{
    const QSize left = m_left ? m_left->minimumSizeHint() : QSize();
    const int right = m_right ? std::max(m_right->sizeHint().width(), m_right->minimumSizeHint().width()) : 0;
    const int rightHeight = m_right ? m_right->minimumSizeHint().height() : 0;
    return { std::max(left.width(), 0) + right, std::max(left.height(), rightHeight) };
}

void CViewSplitter::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Layout();
}

bool CViewSplitter::event(QEvent* event)
{
    // A pane's size hints changed (a language, a longer text): the split follows.
    if (event->type() == QEvent::LayoutRequest) {
        updateGeometry();
        Layout();
    }
    return QWidget::event(event);
}

void CViewSplitter::Layout()
{
    const int w = width();
    const int h = height();
    const int right = RightWidth(w);
    const int left = std::max(0, w - right);
    if (m_left)
        m_left->setGeometry(0, 0, left, h);
    if (m_right)
        m_right->setGeometry(left, 0, right, h);
}

CMainFrame::CMainFrame()
    : m_commands(this)
{
    setObjectName("MainFrame");
    setWindowTitle("Tonrig");
    setWindowIcon(ProgramIcon());

    CreateCommands();
    CreateMenu();
    CreateToolBar();
    m_statusBar = new CStatusBar(this);
    setStatusBar(m_statusBar);
    g_pStatusBar = m_statusBar;
    g_hStatusBar = m_statusBar;

    resize(kWidth, kHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
    }
    CreateClient();

    m_commands.Bind(ID_APP_EXIT, [this] { close(); });
    m_commands.Bind(ID_VIEW_TOOLBAR, [this] { m_toolBar->setVisible(!m_toolBar->isVisible()); });
    m_commands.Bind(ID_VIEW_STATUS_BAR, [this] { m_statusBar->setVisible(!m_statusBar->isVisible()); });
    m_commands.SetChecked(ID_VIEW_TOOLBAR, true);
    m_commands.SetChecked(ID_VIEW_STATUS_BAR, true);
    connect(m_toolBar, &QToolBar::visibilityChanged, this,
        [this](bool visible) { m_commands.SetChecked(ID_VIEW_TOOLBAR, visible); });
    m_commands.Bind(ID_NEXT_PANE, [this] { MoveFocusToPane(1); });
    // Every command lets go of the last operation's failure in pane 0.
    m_commands.SetBeforeExecute([this](UINT) {
        if (m_view)
            m_view->ClearFailureNote();
    });
    m_commands.Bind(ID_PREV_PANE, [this] { MoveFocusToPane(-1); });

    g_pMainFrame = this;
}

CMainFrame::~CMainFrame()
{
    if (g_pMainFrame == this)
        g_pMainFrame = nullptr;
    if (g_pStatusBar == m_statusBar)
        g_pStatusBar = g_hStatusBar = nullptr;
    if (g_wndSplitter == m_splitter)
        g_wndSplitter = nullptr;
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_view)
        m_view->Shutdown();
    QMainWindow::closeEvent(event);
}

void CMainFrame::CreateCommands()
{
    const std::vector<UINT>& toolbar = ToolbarTable();
    for (UINT id : AllCommandIds()) {
        platform::CommandInfo info;
        info.id = id;
        info.text = CommandText(id);
        const std::vector<std::string> keys = CommandShortcuts(id);
        if (!keys.empty())
            info.shortcut = keys.front();
        info.statusTip = CommandPrompt(id);
        if (std::find(toolbar.begin(), toolbar.end(), id) != toolbar.end())
            info.icon = ToolbarIcon(id);
        QAction* action = m_commands.Define(info);
        QList<QKeySequence> sequences;
        for (const std::string& key : keys)
            sequences.append(QKeySequence(QString::fromStdString(key)));
        action->setShortcuts(sequences);
        const std::string tip = CommandTooltip(id);
        action->setToolTip(QString::fromStdString(tip));
        addAction(action); // shortcuts work for commands in no menu too
    }
}

void CMainFrame::CreateMenu()
{
    QMenuBar* bar = menuBar();
    for (const MenuPopupDef& popup : MainMenuTable()) {
        QMenu* menu = bar->addMenu(QString::fromUtf8(popup.title));
        if (!m_fileMenu)
            m_fileMenu = menu;
        connect(menu, &QMenu::aboutToShow, this, [this] { m_commands.Refresh(); });
        for (const MenuItemDef& item : popup.items) {
            if (item.id == 0) {
                menu->addSeparator();
            } else if (item.id == ID_FILE_MRU_FILE1) {
                for (UINT id = ID_FILE_MRU_FILE1; id <= ID_FILE_MRU_FILE9; ++id) {
                    QAction* action = m_commands.Action(id);
                    action->setVisible(id == ID_FILE_MRU_FILE1);
                    menu->addAction(action);
                }
            } else {
                menu->addAction(m_commands.Action(item.id));
            }
        }
    }
}

void CMainFrame::CreateToolBar()
{
    m_toolBar = new QToolBar("Toolbar", this);
    m_toolBar->setObjectName("59392");
    m_toolBar->setIconSize(QSize(24, 22));
    auto* filter = new NoTooltipFilter(m_toolBar);
    for (UINT id : ToolbarTable()) {
        if (id == 0) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* action = m_commands.Action(id);
        m_toolBar->addAction(action);
        if (QWidget* button = m_toolBar->widgetForAction(action))
            button->installEventFilter(filter);
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);
}

void CMainFrame::CreateClient()
{
    m_splitter = new CViewSplitter(this);
    m_view = new CTonrigView(m_splitter);
    m_header = new CView2Header(m_splitter);
    m_splitter->SetPanes(m_view, m_header);
    setCentralWidget(m_splitter);
    g_wndSplitter = m_splitter;
    m_view->MessageLog().setFocus();
}

void CMainFrame::MoveFocusToPane(int step)
{
    QWidget* panes[2] = { m_view, m_header };
    QWidget* focus = QApplication::focusWidget();
    int current = 0;
    if (focus && (focus == m_header || m_header->isAncestorOf(focus)))
        current = 1;
    QWidget* next = panes[(current + step + 2) % 2];
    if (next == m_view)
        m_view->MessageLog().setFocus();
    else
        next->setFocus();
}
