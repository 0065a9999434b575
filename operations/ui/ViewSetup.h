#pragma once
// The main view's command channel and device setup, and the view's side of both: the log, the
// status panes, the progress window, the buffers and the settings a setup touches. The view owns
// one and forwards its channel and setup members here.

#include "operations/CommandChannel.h"
#include "operations/DeviceSetup.h"
#include "operations/ProgrammerConfigUpdate.h"
#include "operations/SetupLinkPort.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

class CTonrigView;

class CViewSetup final : public ISetupView {
public:
    // `port` null: the programmer link of the program. `updater` null: the CPLD update of
    // ProgrammerConfigUpdate, its JTAG packets through `port`.
    explicit CViewSetup(
        CTonrigView& view, std::unique_ptr<ISetupLinkPort> port = nullptr, IProgrammerConfigUpdater* updater = nullptr);
    ~CViewSetup() override;

    CommandChannel& Channel() { return m_channel; }
    DeviceSetup& Setup() { return m_setup; }
    ISetupLinkPort& Port() { return *m_port; }
    // Null when a test gave its own updater.
    ProgrammerConfigUpdate* ConfigUpdate() { return m_update.get(); }

    // A setup for the current device, with the programmer's version text the view holds.
    void Start(int classIndex, std::uint8_t mode, std::uint8_t probe, std::uint8_t reload);
    // The view's timer 0 after the first identification: the last device set up, then the last
    // file opened; neither over edited buffers (kLastSessionSkippedLine in the log instead).
    void LoadLastSession();
    // The programmer was identified. After the first time (a replug) the box has lost its image:
    // a selected device is set up again.
    void OnProgrammerIdentified();
    // The window closes.
    void Shutdown();

    // The text a status pane shows (131 device, 132 status).
    std::string FieldText(int id) const;
    bool GridLoaded() const { return m_bGridLoaded; }

    std::function<void(const CDeviceClass&)> onSocketPicture;
    std::function<void(const CDeviceClass&)> onJumperPicture;

    // ISetupView
    void Log(const std::string& text) override;
    void SetField(int id, const std::string& text) override;
    void ProgressStart(const std::string& caption, int range) override;
    void ProgressHide() override;
    void ClearGridLoaded() override { m_bGridLoaded = false; }
    std::string LoadDeviceFile() override;
    void FillGrid() override;
    void ResetBuffers(int codeSize, int dataSize) override;
    void SetSocketPicture(const CDeviceClass& device) override;
    void SetJumperPicture(const CDeviceClass& device) override;
    void SaveLastDevice(const std::string& name) override;

private:
    std::unique_ptr<ProgrammerConfigUpdate> MakeUpdate();

    CTonrigView& m_view;
    std::unique_ptr<ISetupLinkPort> m_port;
    CommandChannel m_channel;
    std::unique_ptr<IJtagPort> m_jtagPort;
    std::unique_ptr<ProgrammerConfigUpdate> m_update;
    DeviceSetup m_setup;
    std::map<int, std::string> m_fields;
    bool m_bGridLoaded = false;
    int m_identifications = 0;
};
