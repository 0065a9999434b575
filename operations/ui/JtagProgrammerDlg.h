#pragma once
// "JTAG Programming" (text 161): a byte-code file, its actions and their procedures, the speed
// level, and a live log. Run holds the link lease (LeaseHolder::Jtag) and plays the file on the
// view's JTAG worker slot; Cancel ends the run ("execution cancelled"); closing during a run
// cancels it, and the dialog closes when the worker's last message has arrived.

#include "jtag/player/StaplImage.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class CRichEditCtrlExtend;
class CTonrigView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

class CJtagProgrammerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CJtagProgrammerDlg(CTonrigView& view);
    ~CJtagProgrammerDlg() override;

    // The file (the view's loaded-file name); its actions listed, `preferred` selected where
    // the file has it (without regard to case), else the first.
    void SetFile(const std::string& path, const std::string& preferred = {});
    const std::string& File() const { return m_file; }
    void SelectAction(const std::string& name);
    std::string SelectedAction() const;
    // The defines of the selected action's optional and recommended procedures: "NAME=1" or "NAME=0".
    std::vector<std::string> Defines() const;
    // The player's arguments of a run of `action` with the check boxes' defines.
    std::vector<std::string> Arguments(const std::string& action) const;

    // Run: the selected action. False when refused (no file, no action, the lease held, a run
    // in progress). Run is enabled only with an action of a byte-code file, Read User Code only
    // when the file has that action.
    bool OnRun();
    bool OnReadUserCode();
    bool OnFileInformation();
    void OnBrowse();
    void OnCancel();
    bool Running() const { return m_running; }
    // The speed choice shows the header pane's level (it may have changed while the dialog was
    // hidden or open).
    void SyncSpeedLevel();
    // Opened again while a close waits for the run's end: it stays open.
    void KeepOpen() { m_closePending = false; }

    // Browse's file chooser (tests).
    std::function<std::string()> chooseFile;

    CRichEditCtrlExtend& Log() { return *m_log; }
    QComboBox* ActionBox() const { return m_actions; }
    QComboBox* SpeedBox() const { return m_speed; }
    QPushButton* RunButton() const { return m_run; }
    QPushButton* ReadUserCodeButton() const { return m_readUserCode; }
    QPushButton* CancelButton() const { return m_cancel; }
    QProgressBar* BusyBar() const { return m_busy; }
    std::vector<QCheckBox*> ProcedureBoxes() const { return m_boxes; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    struct Procedure {
        std::string name;
        int attribute;
    };
    struct Action {
        std::string name;
        std::vector<Procedure> procedures;
    };
    bool Start(std::vector<std::string> arguments, const std::string& what);
    // The file's image, or nothing with the reason in the log (not there, not byte code).
    std::optional<StaplImage> OpenFile(const std::string& path, std::vector<std::uint8_t>& image);
    void ShowProcedures();
    // Run, the file and the action's choices off while a run goes on; Cancel and the busy bar on.
    // Run and Read User Code also off while the file has no action for them.
    void ShowRunning();
    // The file's READ_USERCODE action, if it has one.
    const Action* UserCodeAction() const;
    // Failure lines in the error colour, the player's other console lines grey, the rest black.
    void AppendLine(const std::string& line, bool console);
    // A refusal's reason, in the error colour.
    void AppendRefusal(const std::string& line);
    void Finished(const std::string& what, const std::string& endLine);

    CTonrigView& m_view;
    std::string m_file;
    std::vector<Action> m_fileActions;
    bool m_running = false;
    bool m_closePending = false;
    std::shared_ptr<std::stop_source> m_stop;

    QLineEdit* m_fileEdit = nullptr;
    QComboBox* m_actions = nullptr;
    QVBoxLayout* m_procedureLayout = nullptr;
    QWidget* m_procedures = nullptr;
    std::vector<QCheckBox*> m_boxes;
    QComboBox* m_speed = nullptr;
    QPushButton* m_run = nullptr;
    QPushButton* m_readUserCode = nullptr;
    QPushButton* m_info = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_close = nullptr;
    QProgressBar* m_busy = nullptr;
    CRichEditCtrlExtend* m_log = nullptr;
};

// The dialog's own texts (161, 163 and 165 come from the language table).
namespace jtagdlg {
inline constexpr const char* kRefusedInRun = "JTAG devices are programmed from the JTAG Programming dialog.";
inline constexpr const char* kFile = "File:";
inline constexpr const char* kBrowse = "Browse...";
inline constexpr const char* kAction = "Action:";
inline constexpr const char* kProcedures = "Procedures:";
inline constexpr const char* kRequired = "%s (required)";
inline constexpr const char* kSpeed = "Speed level:";
inline constexpr const char* kRun = "Run";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kClose = "Close";
inline constexpr const char* kNoFile = "No byte-code file is loaded.";
inline constexpr const char* kNotByteCode = "\"%s\" is not a byte-code file.";
inline constexpr const char* kMainLogLine = "JTAG %s \"%s\": %s";
} // namespace jtagdlg
