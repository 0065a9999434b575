#include "operations/ui/JtagProgrammerDlg.h"

#include "controls/ui/RichEditCtrlExtend.h"
#include "jtag/JtagPort.h"
#include "jtag/PlayerHosts.h"
#include "jtag/player/StaplPlayer.h"
#include "link/LinkLease.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "platform/GuiThread.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <initializer_list>

namespace {

constexpr COLORREF kConsoleColour = RGB(128, 128, 128);

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

CJtagProgrammerDlg::CJtagProgrammerDlg(CTonrigView& view)
    : QDialog(&view)
    , m_view(view)
{
    setWindowTitle(QString::fromStdString(g_Language.GetText(161)));
    auto* grid = new QGridLayout;
    m_fileEdit = new QLineEdit(this);
    m_fileEdit->setReadOnly(true);
    m_browse = new QPushButton(jtagdlg::kBrowse, this);
    m_info = new QPushButton(QString::fromStdString(g_Language.GetText(163)), this);
    grid->addWidget(new QLabel(jtagdlg::kFile, this), 0, 0);
    grid->addWidget(m_fileEdit, 0, 1);
    grid->addWidget(m_browse, 0, 2);
    grid->addWidget(m_info, 0, 3);
    m_actions = new QComboBox(this);
    grid->addWidget(new QLabel(jtagdlg::kAction, this), 1, 0);
    grid->addWidget(m_actions, 1, 1);
    m_speed = new QComboBox(this);
    for (int level = 1; level <= 5; ++level)
        m_speed->addItem(QString::number(level), level);
    grid->addWidget(new QLabel(jtagdlg::kSpeed, this), 1, 2);
    grid->addWidget(m_speed, 1, 3);
    m_procedures = new QWidget(this);
    m_procedureLayout = new QVBoxLayout(m_procedures);
    m_procedureLayout->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(jtagdlg::kProcedures, this), 2, 0, Qt::AlignTop);
    grid->addWidget(m_procedures, 2, 1, 1, 3);

    m_log = new CRichEditCtrlExtend(this);
    m_log->setReadOnly(true);
    m_log->setMinimumSize(560, 260);
    m_busy = new QProgressBar(this);
    m_busy->setRange(0, 0);
    m_busy->setVisible(false);
    m_run = new QPushButton(jtagdlg::kRun, this);
    m_readUserCode = new QPushButton(QString::fromStdString(g_Language.GetText(165)), this);
    m_cancel = new QPushButton(jtagdlg::kCancel, this);
    m_cancel->setEnabled(false);
    m_close = new QPushButton(jtagdlg::kClose, this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_busy, 1);
    buttons->addWidget(m_run);
    buttons->addWidget(m_readUserCode);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_log, 1);
    layout->addLayout(buttons);

    SyncSpeedLevel();
    ShowRunning();
    connect(m_speed, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (g_pView2Header)
            g_pView2Header->SetSpeedLevel(index + 1);
    });
    connect(m_actions, &QComboBox::currentIndexChanged, this, [this](int) { ShowProcedures(); });
    connect(m_run, &QPushButton::clicked, this, [this] { OnRun(); });
    connect(m_readUserCode, &QPushButton::clicked, this, [this] { OnReadUserCode(); });
    connect(m_info, &QPushButton::clicked, this, [this] { OnFileInformation(); });
    connect(m_browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    connect(m_close, &QPushButton::clicked, this, [this] { close(); });
}

CJtagProgrammerDlg::~CJtagProgrammerDlg()
{
    if (m_stop)
        m_stop->request_stop();
}

void CJtagProgrammerDlg::SyncSpeedLevel()
{
    if (!g_pView2Header)
        return;
    const QSignalBlocker block(m_speed);
    m_speed->setCurrentIndex(std::clamp(g_pView2Header->SpeedLevel(), 1, 5) - 1);
}

std::optional<StaplImage> CJtagProgrammerDlg::OpenFile(const std::string& path, std::vector<std::uint8_t>& image)
{
    std::string error;
    if (!StaplLoadFile(path, image, error)) {
        AppendRefusal(error);
        return std::nullopt;
    }
    auto view = StaplImage::Open(image);
    if (!view)
        AppendRefusal(platform::Format(jtagdlg::kNotByteCode, path.c_str()));
    return view;
}

void CJtagProgrammerDlg::SetFile(const std::string& path, const std::string& preferred)
{
    m_file = path;
    m_fileActions.clear();
    m_fileEdit->setText(QString::fromStdString(path));
    std::vector<std::uint8_t> image;
    if (!path.empty()) {
        if (const auto view = OpenFile(path, image)) {
            std::string name, description;
            bool hasDescription = false;
            std::vector<StaplProcedureInfo> procedures;
            for (int i = 0; StaplGetActionInfo(*view, i, name, description, hasDescription, procedures) == 0; ++i) {
                Action action { name, {} };
                for (const StaplProcedureInfo& p : procedures)
                    action.procedures.push_back({ p.name, p.attribute & 3 });
                m_fileActions.push_back(std::move(action));
            }
        }
    }
    const QSignalBlocker block(m_actions);
    m_actions->clear();
    for (const Action& a : m_fileActions)
        m_actions->addItem(QString::fromStdString(a.name));
    m_actions->setCurrentIndex(m_fileActions.empty() ? -1 : 0);
    SelectAction(preferred);
    ShowProcedures();
    ShowRunning();
}

void CJtagProgrammerDlg::SelectAction(const std::string& name)
{
    for (std::size_t i = 0; i < m_fileActions.size(); ++i)
        if (EqualNoCase(m_fileActions[i].name, name))
            m_actions->setCurrentIndex(static_cast<int>(i));
}

std::string CJtagProgrammerDlg::SelectedAction() const
{
    const int i = m_actions->currentIndex();
    return i >= 0 && static_cast<std::size_t>(i) < m_fileActions.size()
        ? m_fileActions[static_cast<std::size_t>(i)].name
        : std::string();
}

void CJtagProgrammerDlg::ShowProcedures()
{
    for (QCheckBox* box : m_boxes)
        delete box;
    m_boxes.clear();
    while (QLayoutItem* item = m_procedureLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const int i = m_actions->currentIndex();
    if (i < 0 || static_cast<std::size_t>(i) >= m_fileActions.size())
        return;
    for (const Procedure& p : m_fileActions[static_cast<std::size_t>(i)].procedures) {
        if (p.attribute == 0) {
            // Required: listed, never edited.
            auto* label = new QLabel(QString::fromStdString(platform::Format(jtagdlg::kRequired, p.name.c_str())));
            m_procedureLayout->addWidget(label);
            continue;
        }
        auto* box = new QCheckBox(QString::fromStdString(p.name), m_procedures);
        box->setChecked(p.attribute != 1); // recommended ones checked, optional ones not
        m_procedureLayout->addWidget(box);
        m_boxes.push_back(box);
    }
}

std::vector<std::string> CJtagProgrammerDlg::Defines() const
{
    std::vector<std::string> defines;
    for (const QCheckBox* box : m_boxes)
        defines.push_back(box->text().toStdString() + (box->isChecked() ? "=1" : "=0"));
    return defines;
}

std::vector<std::string> CJtagProgrammerDlg::Arguments(const std::string& action) const
{
    std::vector<std::string> args { "-a" + action };
    for (const std::string& d : Defines())
        args.push_back("-d" + d);
    return args;
}

bool CJtagProgrammerDlg::OnRun()
{
    const std::string action = SelectedAction();
    if (action.empty())
        return false;
    return Start(Arguments(action), action);
}

const CJtagProgrammerDlg::Action* CJtagProgrammerDlg::UserCodeAction() const
{
    for (const Action& a : m_fileActions)
        if (EqualNoCase(a.name, "READ_USERCODE"))
            return &a;
    return nullptr;
}

bool CJtagProgrammerDlg::OnReadUserCode()
{
    const Action* action = UserCodeAction();
    return action && Start({ "-a" + action->name }, action->name);
}

bool CJtagProgrammerDlg::OnFileInformation()
{
    return Start({ "-i" }, "-i");
}

void CJtagProgrammerDlg::OnBrowse()
{
    if (m_running)
        return;
    const std::string path = chooseFile
        ? chooseFile()
        : QFileDialog::getOpenFileName(this, QString(), QString::fromStdString(m_file), "Byte-code files (*.jbc)")
              .toStdString();
    if (!path.empty())
        SetFile(path, SelectedAction());
}

void CJtagProgrammerDlg::OnCancel()
{
    if (m_stop)
        m_stop->request_stop();
}

bool CJtagProgrammerDlg::Start(std::vector<std::string> arguments, const std::string& what)
{
    if (m_running)
        return false;
    if (m_file.empty()) {
        AppendRefusal(jtagdlg::kNoFile);
        return false;
    }
    // The file may have gone or changed since it was chosen (a failed compile removes tmp.jbc).
    std::vector<std::uint8_t> image;
    if (!OpenFile(m_file, image))
        return false;
    if (g_LinkLease.IsHeld() || !g_LinkLease.Take(LeaseHolder::Jtag)) {
        m_view.CheckLinkFree("Run");
        return false;
    }
    m_stop = std::make_shared<std::stop_source>();
    const QPointer<CJtagProgrammerDlg> self(this);
    const std::string file = m_file;
    auto stop = m_stop;
    const bool started
        = m_view.StartWorker(WorkerSlot::Jtag, [self, file, stop, arguments, what](std::stop_token worker) {
              std::stop_callback forward(worker, [stop] { stop->request_stop(); });
              LinkJtagPort port;
              CStaplFileHost host(port, [] { return g_pView2Header ? g_pView2Header->SpeedLevel() : 5; });
              host.m_strFileName = file;
              host.LinkStop(stop->get_token());
              std::string endLine;
              host.onLine = [self, &endLine](const std::string& line, bool console) {
                  if (line.rfind("Exit code", 0) == 0 || StaplFailureLine(line))
                      endLine = line;
                  platform::post([self, line, console] {
                      if (self)
                          self->AppendLine(line, console);
                  });
              };
              host.RunPlayer(arguments);
              // The last message: the lease goes back whether or not the dialog is still there.
              platform::post([self, what, endLine] {
                  g_LinkLease.Release(LeaseHolder::Jtag);
                  if (self)
                      self->Finished(what, endLine);
              });
          });
    if (!started) {
        g_LinkLease.Release(LeaseHolder::Jtag);
        return false;
    }
    m_running = true;
    ShowRunning();
    return true;
}

void CJtagProgrammerDlg::ShowRunning()
{
    // The speed level stays open: the run reads it at every wait.
    for (QWidget* w : std::initializer_list<QWidget*> { m_info, m_browse, m_actions, m_procedures })
        w->setEnabled(!m_running);
    m_run->setEnabled(!m_running && !SelectedAction().empty());
    m_readUserCode->setEnabled(!m_running && UserCodeAction() != nullptr);
    m_cancel->setEnabled(m_running);
    m_busy->setVisible(m_running);
}

void CJtagProgrammerDlg::AppendLine(const std::string& line, bool console)
{
    const COLORREF colour = StaplFailureLine(line) ? CTonrigView::kLogError
        : console                                  ? kConsoleColour
                                                   : CTonrigView::kLogText;
    m_log->AppendLine(line, colour);
}

void CJtagProgrammerDlg::AppendRefusal(const std::string& line)
{
    m_log->AppendLine(line, CTonrigView::kLogError);
}

void CJtagProgrammerDlg::Finished(const std::string& what, const std::string& endLine)
{
    m_running = false;
    ShowRunning();
    if (what != "-i" && !endLine.empty()) {
        const bool error = StaplFailureLine(endLine);
        m_view.Log(platform::Format(jtagdlg::kMainLogLine, what.c_str(), m_file.c_str(), endLine.c_str()) + "\r\n",
            error ? CTonrigView::kLogError : CTonrigView::kLogText);
    }
    if (m_closePending) {
        m_closePending = false;
        close();
    }
}

void CJtagProgrammerDlg::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        // Cancelled; the dialog closes when the run's last message has come.
        m_closePending = true;
        OnCancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CJtagProgrammerDlg::reject()
{
    if (m_running) {
        m_closePending = true;
        OnCancel();
        return;
    }
    QDialog::reject();
}
