#pragma once
// Brings the programmer's CPLD to a configuration: reads its USERCODE with the configuration's
// own byte-code program (a "CPLDF" resource), and runs that program's PROGRAM action only when
// the USERCODE differs from the one expected. Runs on the setup worker, under setup's lease.
// Boxes wait for OK; log lines and the progress are posted to the GUI thread by the caller's
// hooks.

#include "jtag/PlayerHosts.h"
#include "operations/DeviceSetup.h"

#include <functional>
#include <memory>
#include <stop_token>
#include <string>

class IJtagPort;

class ProgrammerConfigUpdate final : public IProgrammerConfigUpdater {
public:
    struct Hooks {
        std::function<int()> operationState; // none: g_nOperationState
        std::function<int()> speedLevel; // read by the player at every wait
        std::function<void(int)> setSpeedLevel;
        std::function<void(const std::string&)> log;
        std::function<void(int range)> progressStart; // restarts setup's progress window
        std::function<void(const std::string&)> box; // returns once the user has answered
        std::function<std::stop_token()> stop; // the worker's
        CCpldUpdateDlg::ResourceLoader resources; // none: the compiled-in programs
        IJtagPort* port = nullptr; // none: the programmer link
    };
    explicit ProgrammerConfigUpdate(Hooks hooks);
    ~ProgrammerConfigUpdate() override;

    void UpdateProgrammerConfig(int configuration, bool forced, const std::string& expectedUserCode) override;
    // The same against the U6 firmware's code "00150000", without the forced suffix.
    void UpdateU6Firmware(int number);

private:
    struct Texts {
        const char* readFailed;
        const char* programFailed;
        bool forcedSuffix;
    };
    void Update(int program, bool forced, const std::string& expected, const Texts& texts);
    void Log(const std::string& line);
    void Box(const std::string& text);

    Hooks m_hooks;
    std::unique_ptr<IJtagPort> m_ownPort;
};
