#include "operations/ui/ScriptEditor.h"

#include "controls/ui/RichEditCtrlExtend.h"
#include "platform/FileSync.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"
#include "shell/RegistryKey.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QTabBar>
#include <QTextDocument>

#include <fstream>
#include <sstream>

namespace {

constexpr const char* kSettingsKey = "Software\\Zelvo USB Programmer\\Settings";

std::string Text(int number, const char* fallback)
{
    const std::string text = g_Language.GetText(number);
    return text.empty() ? fallback : text;
}

} // namespace

CScriptEditor::CScriptEditor(QWidget* owner, QTabBar* tabs, CRichEditCtrlExtend* pane)
    : QObject(owner)
    , m_owner(owner)
    , m_tabs(tabs)
    , m_pane(pane)
{
    // Scripts are plain text; a paste brings no formatting.
    m_pane->setAcceptRichText(false);
    connect(m_pane->document(), &QTextDocument::modificationChanged, this, [this] { UpdateTabText(); });
    m_chooseOpen = [this](const std::string& caption, const std::string& lastPath) {
        return QFileDialog::getOpenFileName(
            m_owner, QString::fromStdString(caption), QString::fromStdString(lastPath), QString::fromLatin1(kFilter))
            .toStdString();
    };
    m_chooseSave = [this](const std::string& caption, const std::string& lastPath) {
        return QFileDialog::getSaveFileName(
            m_owner, QString::fromStdString(caption), QString::fromStdString(lastPath), QString::fromLatin1(kFilter))
            .toStdString();
    };
}

bool CScriptEditor::IsOpen() const
{
    return m_bOpen;
}

bool CScriptEditor::IsEdited() const
{
    return m_bOpen && m_pane->document()->isModified();
}

int CScriptEditor::TabIndex() const
{
    if (!m_bOpen || !m_tabs)
        return -1;
    return m_tabs->count() - 1;
}

std::string CScriptEditor::DisplayName() const
{
    return m_strFile.empty() ? std::string("untitled")
                             : QFileInfo(QString::fromStdString(m_strFile)).fileName().toStdString();
}

std::string CScriptEditor::TabText() const
{
    return kTabPrefix + DisplayName() + (IsEdited() ? " *" : "");
}

void CScriptEditor::UpdateTabText()
{
    if (m_bOpen && m_tabs)
        m_tabs->setTabText(TabIndex(), QString::fromStdString(TabText()));
}

void CScriptEditor::ShowTab()
{
    if (!m_tabs)
        return;
    if (!m_bOpen) {
        m_bOpen = true;
        m_tabs->addTab(QString::fromStdString(TabText()));
        emit tabsChanged();
    } else {
        UpdateTabText();
    }
}

void CScriptEditor::Select()
{
    if (m_bOpen && m_tabs)
        m_tabs->setCurrentIndex(TabIndex());
}

void CScriptEditor::RememberFile(const std::string& path)
{
    CRegistryKey key(HKEY_CURRENT_USER);
    if (!key.Open(HKEY_CURRENT_USER, kSettingsKey)) {
        key.Create(HKEY_CURRENT_USER, kSettingsKey);
        if (!key.Open(HKEY_CURRENT_USER, kSettingsKey))
            return;
    }
    key.WriteString(kLastScriptValue, path);
}

static std::string LastScript()
{
    CRegistryKey key(HKEY_CURRENT_USER);
    std::string value;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey))
        key.ReadString(CScriptEditor::kLastScriptValue, value);
    return value;
}

bool CScriptEditor::AskDropEdits()
{
    if (!IsEdited())
        return true;
    return MessageBox(Text(184, "Close current ZelvoScrip?"), platform::kAppTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool CScriptEditor::New()
{
    if (!AskDropEdits())
        return false;
    m_strFile.clear();
    m_pane->clear();
    m_pane->document()->setModified(false);
    ShowTab();
    Select();
    return true;
}

bool CScriptEditor::Open()
{
    if (!AskDropEdits())
        return false;
    const std::string path = m_chooseOpen(Text(188, "Open Script"), LastScript());
    if (path.empty())
        return false;
    return OpenFile(path);
}

bool CScriptEditor::OpenFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        MessageBox(platform::Format("file open error: %s", path.c_str()));
        return false;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string text = bytes.str();
    // A byte-order mark is no part of the script.
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    m_strFile = path;
    m_pane->setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    m_pane->document()->setModified(false);
    RememberFile(path);
    ShowTab();
    Select();
    return true;
}

bool CScriptEditor::WriteTo(const std::string& path)
{
    platform::RemoveSaveLeftovers(path);
    QSaveFile file(QString::fromStdString(path));
    const QByteArray text = m_pane->toPlainText().toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        MessageBox(platform::Format("The script could not be saved to %s.", path.c_str()), platform::kAppTitle,
            MB_OK | MB_ICONERROR);
        return false;
    }
    m_strFile = path;
    m_pane->document()->setModified(false);
    RememberFile(path);
    ShowTab();
    return true;
}

bool CScriptEditor::Save()
{
    if (!m_bOpen)
        return false;
    if (m_strFile.empty())
        return SaveAs();
    return WriteTo(m_strFile);
}

bool CScriptEditor::SaveAs()
{
    if (!m_bOpen)
        return false;
    std::string path = m_chooseSave(Text(190, "Save Script As"), m_strFile.empty() ? LastScript() : m_strFile);
    if (path.empty())
        return false;
    if (QFileInfo(QString::fromStdString(path)).suffix().isEmpty())
        path += ".zvs";
    return WriteTo(path);
}

bool CScriptEditor::AskSaveEdits()
{
    if (!IsEdited())
        return true;
    const int answer = MessageBox(
        platform::Format(kSaveQuestion, DisplayName().c_str()), platform::kAppTitle, MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDYES)
        return Save();
    return answer == IDNO;
}

bool CScriptEditor::Close()
{
    if (!m_bOpen)
        return false;
    const bool goOn = IsEdited()
        ? AskSaveEdits()
        : MessageBox(Text(184, "Close current ZelvoScrip?"), platform::kAppTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
    if (!goOn)
        return false;
    const int index = TabIndex();
    m_bOpen = false;
    m_strFile.clear();
    m_pane->clear();
    m_pane->document()->setModified(false);
    if (m_tabs) {
        m_tabs->setCurrentIndex(0);
        m_tabs->removeTab(index);
    }
    emit tabsChanged();
    return true;
}
