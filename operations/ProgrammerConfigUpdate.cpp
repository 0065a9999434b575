#include "operations/ProgrammerConfigUpdate.h"

#include "jtag/JtagPort.h"
#include "operations/OperationState.h"
#include "platform/Trace.h"

namespace {

constexpr const char* kUserCodeKey = "USERCODE code is ";
constexpr std::size_t kUserCodeChars = 8;
constexpr const char* kU6UserCode = "00150000";

constexpr const char* kTextConfigurationOk = "Configuration OK!";
constexpr const char* kTextConfigurationUpdated = "Configuration updated!";
constexpr const char* kTextReadFailed = "Firmware update failed. #2";
constexpr const char* kTextProgramFailed = "Configuration update failed. #1=";
constexpr const char* kTextU6ReadFailed = "U6 Firmware update failed. #22";
constexpr const char* kTextU6ProgramFailed = "Configuration update failed. #1";

} // namespace

ProgrammerConfigUpdate::ProgrammerConfigUpdate(Hooks hooks)
    : m_hooks(std::move(hooks))
{
    if (!m_hooks.port) {
        m_ownPort = std::make_unique<LinkJtagPort>();
        m_hooks.port = m_ownPort.get();
    }
}

ProgrammerConfigUpdate::~ProgrammerConfigUpdate() = default;

void ProgrammerConfigUpdate::Log(const std::string& line)
{
    if (m_hooks.log)
        m_hooks.log(line + "\r\n");
}

void ProgrammerConfigUpdate::Box(const std::string& text)
{
    if (m_hooks.box)
        m_hooks.box(text);
}

void ProgrammerConfigUpdate::UpdateProgrammerConfig(int configuration, bool forced, const std::string& expectedUserCode)
{
    Update(configuration, forced, expectedUserCode, { kTextReadFailed, kTextProgramFailed, true });
}

void ProgrammerConfigUpdate::UpdateU6Firmware(int number)
{
    Update(number, false, kU6UserCode, { kTextU6ReadFailed, kTextU6ProgramFailed, false });
}

void ProgrammerConfigUpdate::Update(int program, bool forced, const std::string& expected, const Texts& texts)
{
    const int state = m_hooks.operationState ? m_hooks.operationState() : g_nOperationState;
    if (state == kStateDisconnected)
        return;

    CCpldUpdateDlg dlg(program, *m_hooks.port, m_hooks.speedLevel, m_hooks.resources);
    if (m_hooks.stop)
        dlg.LinkStop(m_hooks.stop());
    if (m_hooks.setSpeedLevel)
        m_hooks.setSpeedLevel(1);
    dlg.RunPlayer({ "-aRead_usercode" });

    // The USERCODE line may stand anywhere in the log, its first line too.
    const std::string& log = dlg.LogText();
    const std::size_t at = log.find(kUserCodeKey);
    if (at == std::string::npos) {
        Trace("CPLD configuration %d: no USERCODE read\n", program);
        Box(texts.readFailed);
        return;
    }
    std::string code = log.substr(at + std::char_traits<char>::length(kUserCodeKey), kUserCodeChars);
    if (forced && texts.forcedSuffix)
        code += "Forced";
    if (code == expected) {
        Log(kTextConfigurationOk);
        return;
    }

    Trace("CPLD configuration %d: USERCODE %s, expected %s\n", program, code.c_str(), expected.c_str());
    if (m_hooks.progressStart)
        m_hooks.progressStart(5);
    dlg.ClearLog();
    dlg.RunPlayer({ "-aPROGRAM", "-dDO_ERASE=1", "-dDO_VERIFY=1" });
    if (!dlg.Outcome().Succeeded()) {
        Box(texts.programFailed);
        Log(texts.programFailed);
        return;
    }
    Log(kTextConfigurationUpdated);
}
