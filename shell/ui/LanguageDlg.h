#pragma once
// The Language Selection dialog: the languages of the language folder, one entry per file (two
// files naming one language give two equal entries) and English, the built-in texts, while no file
// names it; a new language made from the English template (Add), a file opened in the desktop's
// text editor (Edit), and OK, which loads the chosen language, stores it and puts its texts on
// the main window.

#include "shell/ui/ShellDialog.h"

#include <functional>
#include <string>

class CInputDlg;
class QListWidget;

class CLanguageDlg : public CShellDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 282;
    static constexpr int IDC_TITLE = 1255;
    static constexpr int IDC_LIST = 1119;
    static constexpr int IDC_ADD = 1102;
    static constexpr int IDC_EDIT = 1249;
    static constexpr int IDC_OK = 1;
    static constexpr int IDC_CANCEL = 2;

    explicit CLanguageDlg(QWidget* parent = nullptr);

    // The loader's operations (shell/LanguageLoader.h).
    static bool LoadLanguageFile(const std::string& path);
    static void SaveLanguageSetting(const std::string& path);
    static std::string GetLanguageName(const std::string& path);
    static int IsUnicodeFile(const std::string& path);

    // The files of the language folder that are language files ("*.dic.txt", no folders), in
    // name order.
    static std::vector<std::string> LanguageFiles();
    // The first of them, in name order, whose language name is `name` exactly; empty when none.
    static std::string FindLanguageFile(const std::string& name);
    // Copies the English template beside the program into "<name>.dic.txt" in the language
    // folder, the name line naming `name`, every line ending in CR LF. A name that could leave
    // the folder, or that of an existing file, is refused. Every failure shows its box; false
    // then, and no file is left behind.
    static bool CreateLanguageFile(const std::string& name);

    // Fills the list from the language folder (boxes for the files it cannot read), with English
    // among them.
    void FillList();
    // The selected entry's text; empty when nothing is selected.
    std::string SelectedName() const;
    QListWidget* List() const { return m_list; }

    void OnAdd();
    void OnEdit();
    // OK and a double-click in the list.
    void accept() override;

    // How Add asks for the name: true for OK. Tests answer it; by default it is modal.
    using InputRunner = std::function<bool(CInputDlg&)>;
    void SetInputRunner(InputRunner runner) { m_runInput = std::move(runner); }

protected:
    void OnInitDialog() override;

private:
    void Select(const std::string& name);

    QListWidget* m_list = nullptr;
    InputRunner m_runInput;
};
