#pragma once
// The application object: builds the main window and its view, keeps the recent-file list,
// and carries the commands that must reach the main view whichever pane has focus. It lives on
// the QApplication of main() (no document object: the data lives in the view's buffers).

#include "operations/OperationState.h"
#include "platform/WinTypes.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>

class CMainFrame;
class CRecentFileList;
class QPrinter;

class CTonrigApp : public QObject {
    Q_OBJECT
public:
    CTonrigApp();
    ~CTonrigApp() override;

    // Start-up: the recent-file list, the main window with its panes, the view's initial
    // update, the commands; shows the window when `show`.
    BOOL InitInstance(bool show = true);
    // Writes what must outlive the run (the recent-file list).
    int ExitInstance();

    // Hands the path to the main view by a queued call; the view opens it when it runs. Without
    // a view the request is dropped.
    void OpenDocumentFile(const std::string& path);
    void AddToRecentFileList(const std::string& path);
    // Replaces the recent-file list by one of `count` entries (1..9) read from the settings.
    BOOL RebuildRecentFileList(int count);
    CRecentFileList* RecentFileList() const { return m_pRecentFileList.get(); }
    CMainFrame* MainFrame() const { return m_pMainWnd.get(); }

    void OnAppAbout();
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnDeviceList();
    void OnSelectDevice() { OnDeviceList(); }

    // The device selection: its answer. The selection dialog gives it unless a selector is set.
    struct DeviceChoice {
        bool cancelled = true;
        int selectedClass = kNoDeviceClass;
    };
    using DeviceSelector = std::function<DeviceChoice()>;
    void SetDeviceSelector(DeviceSelector selector) { m_selectDevice = std::move(selector); }

    void UpdateRecentFileMenu();

private:
    void BindCommands();

    std::unique_ptr<CRecentFileList> m_pRecentFileList;
    std::unique_ptr<CMainFrame> m_pMainWnd;
    std::unique_ptr<QPrinter> m_printer;
    DeviceSelector m_selectDevice;
};

// The one application object, or null outside its lifetime.
CTonrigApp* TheApp();
