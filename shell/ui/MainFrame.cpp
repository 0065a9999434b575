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

    VarnMenu::SelectDrawStyle(1);
    CreateCommands();
    LoadMenuImages();
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
    VarnMenu::SetCommandActions({});
    if (g_pMainFrame == this)
        g_pMainFrame = nullptr;
    if (g_pStatusBar == m_statusBar)
        g_pStatusBar = g_hStatusBar = nullptr;
    if (g_wndSplitter == m_splitter)
        g_wndSplitter = nullptr;
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_view && !m_view->QueryClose([this] { close(); })) {
        event->ignore();
        return;
    }
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
        // An empty recent-file slot is greyed for want of a file, not of a handler.
        if (id < ID_FILE_MRU_FILE1 || id > ID_FILE_MRU_FILE9)
            m_commands.SetUnboundStatusTip(id, kCommandNotAvailablePrompt);
        QList<QKeySequence> sequences;
        for (const std::string& key : keys)
            sequences.append(QKeySequence(QString::fromStdString(key)));
        action->setShortcuts(sequences);
        const std::string tip = CommandTooltip(id);
        action->setToolTip(QString::fromStdString(tip));
        addAction(action); // shortcuts work for commands in no menu too
    }
}

namespace {

constexpr int kMainMenu = 128;

// Menu 128 as a template, from the one menu table.
std::vector<MenuTemplateItem> MainMenuTemplate()
{
    std::vector<MenuTemplateItem> items;
    const std::vector<MenuPopupDef>& table = MainMenuTable();
    for (size_t p = 0; p < table.size(); ++p) {
        const UINT last = p + 1 == table.size() ? MF_END : 0;
        items.push_back({ MF_POPUP | last, 0, QString::fromUtf8(table[p].title) });
        const std::vector<MenuItemDef>& entries = table[p].items;
        for (size_t i = 0; i < entries.size(); ++i) {
            const UINT end = i + 1 == entries.size() ? MF_END : 0;
            if (entries[i].id == 0)
                items.push_back({ MF_SEPARATOR | end, 0, QString() });
            else
                items.push_back({ end, entries[i].id, QString::fromUtf8(entries[i].text) });
        }
    }
    return items;
}

} // namespace

VarnMenu* CMainFrame::LoadMenuImages()
{
    VarnMenu::SetCommandActions([this](UINT id) { return m_commands.Action(id); });
    VarnMenu::RegisterMenuTemplate(kMainMenu, MainMenuTemplate());
    m_menu.LoadMenuTemplate(kMainMenu);
    m_menu.SetItemImage(std::nullopt, 32959, 306);
    m_menu.SetItemImage(std::nullopt, ID_FILE_OPEN, 307);
    m_menu.SetItemImage(std::nullopt, ID_FILE_SAVE, 308);
    m_menu.SetItemImage(std::nullopt, ID_FILE_SAVE_AS, 308);
    m_menu.SetItemImage(std::nullopt, 32947, 309);
    m_menu.SetItemImage(std::nullopt, 32948, 309);

    // The template names the first recent-file slot; the others follow it, hidden until used.
    int position = -1;
    if (VarnMenu* holder = m_menu.FindCommandItem(ID_FILE_MRU_FILE1, position)) {
        QAction* first = m_commands.Action(ID_FILE_MRU_FILE1);
        const QList<QAction*> shown = holder->actions();
        const qsizetype at = shown.indexOf(first);
        QAction* before = at >= 0 && at + 1 < shown.size() ? shown[at + 1] : nullptr;
        for (UINT id = ID_FILE_MRU_FILE1 + 1; id <= ID_FILE_MRU_FILE9; ++id) {
            QAction* action = m_commands.Action(id);
            action->setVisible(false);
            holder->insertAction(before, action);
        }
    }

    QMenuBar* bar = menuBar();
    for (const auto& popup : m_menu.OwnPopups()) {
        bar->addAction(popup->menuAction());
        connect(popup.get(), &QMenu::aboutToShow, this, [this] { m_commands.Refresh(); });
    }
    m_fileMenu = m_menu.OwnPopups().empty() ? nullptr : m_menu.OwnPopups().front().get();
    return &m_menu;
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
