#pragma once
// The script editor tab: the view's script pane (134) as the last tab of the tab bar (115),
// "ZelvoScript - " plus the file's name ("untitled" before its first save), and " *" while the
// text is edited. New, Open, Save, Save As and Close Script; the file dialogs run through
// injectable choosers. New and Open drop an edited script only after text 184 is answered Yes;
// Close asks text 184 of an unedited script, and of an edited one kSaveQuestion (Yes saves, No
// drops, Cancel keeps it).

#include <QObject>

#include <functional>
#include <string>

class CRichEditCtrlExtend;
class QTabBar;

class CScriptEditor : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kTabPrefix = "ZelvoScript - ";
    static constexpr const char* kFilter = "ZelvoScript Files (*.zvs)";
    // The setting that remembers the script opened or saved last.
    static constexpr const char* kLastScriptValue = "LastOpenedScriptFileName";
    // Closing an edited script (Close Script, the program's exit); %s is its file's name.
    static constexpr const char* kSaveQuestion = "The script \"%s\" has been changed. Save it before it is closed?";

    CScriptEditor(QWidget* owner, QTabBar* tabs, CRichEditCtrlExtend* pane);

    // The dialogs: (caption, the last script) to a path; empty when cancelled.
    using FileChooser = std::function<std::string(const std::string& caption, const std::string& lastPath)>;
    void SetOpenChooser(FileChooser chooser) { m_chooseOpen = std::move(chooser); }
    void SetSaveChooser(FileChooser chooser) { m_chooseSave = std::move(chooser); }

    // The commands; true when they did what they were asked.
    bool New();
    bool Open();
    bool OpenFile(const std::string& path);
    bool Save();
    bool SaveAs();
    bool Close();
    // Before an edited script goes (the program's exit): kSaveQuestion; Yes saves (Save As when
    // untitled). True to go on: not edited, No, or saved.
    bool AskSaveEdits();

    bool IsOpen() const;
    // True when the text has changed since its last open or save.
    bool IsEdited() const;
    const std::string& FileName() const { return m_strFile; }
    int TabIndex() const;
    // Shows the script tab (selects it).
    void Select();

signals:
    // The tab was added or removed.
    void tabsChanged();

private:
    bool AskDropEdits();
    bool WriteTo(const std::string& path);
    void ShowTab();
    void UpdateTabText();
    void RememberFile(const std::string& path);
    std::string TabText() const;
    std::string DisplayName() const; // the file's name, or "untitled"

    QWidget* m_owner;
    QTabBar* m_tabs;
    CRichEditCtrlExtend* m_pane;
    std::string m_strFile; // empty: untitled
    bool m_bOpen = false;
    FileChooser m_chooseOpen;
    FileChooser m_chooseSave;
};
