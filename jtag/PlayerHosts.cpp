#include "jtag/PlayerHosts.h"

#include "jtag/player/PlayerTexts.h"
#include "platform/Resources.h"
#include "platform/TextFormat.h"

#include <stop_token>

CStaplPlayerHost::CStaplPlayerHost(IJtagPort& port, std::function<int()> speedLevel)
    : m_port(port)
    , m_speedLevel(std::move(speedLevel))
{
}

int CStaplPlayerHost::RunPlayer(const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv { "not used" };
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    m_stop = std::stop_source();
    // A stop of the caller's ends this run as a cancel would.
    std::optional<std::stop_callback<std::function<void()>>> forward;
    if (m_linked.stop_possible())
        forward.emplace(m_linked, std::function<void()>([source = m_stop]() mutable { source.request_stop(); }));
    m_outcome = RunStaplPlayer(*this, argv);
    return m_outcome.status;
}

void CStaplPlayerHost::Output(const std::string& line)
{
    m_log += line + "\r\n";
    if (onLine)
        onLine(line, false);
}

void CStaplPlayerHost::Console(const std::string& line)
{
    m_log += line + "\r\n";
    if (onLine)
        onLine(line, true);
}

int CStaplPlayerHost::SpeedLevel()
{
    return m_speedLevel ? m_speedLevel() : 5;
}

bool CStaplFileHost::LoadImage(std::vector<std::uint8_t>& image, std::string& error)
{
    return StaplLoadFile(m_strFileName, image, error);
}

CCpldUpdateDlg::CCpldUpdateDlg(int program, IJtagPort& port, std::function<int()> speedLevel, ResourceLoader loader)
    : CStaplPlayerHost(port, std::move(speedLevel))
    , m_program(program)
    , m_loader(loader ? std::move(loader) : ResourceLoader(&CCpldUpdateDlg::LoadCompiledIn))
{
}

std::string CCpldUpdateDlg::ProgramName() const
{
    return platform::Format("CPLDF/%d", m_program);
}

bool CCpldUpdateDlg::LoadImage(std::vector<std::uint8_t>& image, std::string& error)
{
    auto bytes = m_loader(m_program);
    if (!bytes) {
        error = platform::Format(kPlayerCantOpen, ProgramName().c_str());
        return false;
    }
    image = std::move(*bytes);
    return true;
}

std::optional<std::vector<std::uint8_t>> CCpldUpdateDlg::LoadCompiledIn(int program)
{
    const auto bytes = platform::LoadResource("CPLDF", program);
    if (!bytes)
        return std::nullopt;
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}
