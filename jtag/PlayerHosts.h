#pragma once
// The hosts of the byte-code player: the file host behind the JTAG programmer dialog, and the
// headless host of the programmer's CPLD update, whose image is a "CPLDF" resource. Each keeps
// its own log text (every output and console line plus CR LF) and may stream lines as they come.

#include "jtag/player/StaplPlayer.h"

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class IJtagPort;

class CStaplPlayerHost : public IStaplHost {
public:
    // `speedLevel` is read at every wait (1 to 5); none means 5.
    CStaplPlayerHost(IJtagPort& port, std::function<int()> speedLevel);

    // The arguments without the program name. -1: no program; 1: the image could not be had;
    // 0: a run (see Outcome()).
    int RunPlayer(const std::vector<std::string>& arguments);
    const PlayerOutcome& Outcome() const { return m_outcome; }

    // Every line of the runs so far, each followed by CR LF.
    const std::string& LogText() const { return m_log; }
    void ClearLog() { m_log.clear(); }
    // Called with each line as it comes; `console` for the player's own lines.
    std::function<void(const std::string& line, bool console)> onLine;

    // Ends the run with "execution cancelled"; also when `stop` is requested.
    void RequestCancel() { m_stop.request_stop(); }
    void LinkStop(std::stop_token stop) { m_linked = std::move(stop); }

    // IStaplHost
    void Output(const std::string& line) override;
    void Console(const std::string& line) override;
    IJtagPort& Port() override { return m_port; }
    int SpeedLevel() override;
    std::stop_token Cancel() override { return m_stop.get_token(); }

private:
    IJtagPort& m_port;
    std::function<int()> m_speedLevel;
    std::stop_source m_stop;
    std::stop_token m_linked;
    std::string m_log;
    PlayerOutcome m_outcome;
};

// Runs the file `m_strFileName`.
class CStaplFileHost final : public CStaplPlayerHost {
public:
    using CStaplPlayerHost::CStaplPlayerHost;
    std::string m_strFileName;

    std::string ProgramName() const override { return m_strFileName; }
    bool LoadImage(std::vector<std::uint8_t>& image, std::string& error) override;
};

// The programmer's CPLD update: never shown; runs "CPLDF" resource `program`.
class CCpldUpdateDlg final : public CStaplPlayerHost {
public:
    using ResourceLoader = std::function<std::optional<std::vector<std::uint8_t>>(int program)>;
    // `loader` null: platform::LoadResource("CPLDF", program).
    CCpldUpdateDlg(int program, IJtagPort& port, std::function<int()> speedLevel, ResourceLoader loader = {});

    std::string ProgramName() const override;
    bool LoadImage(std::vector<std::uint8_t>& image, std::string& error) override;

    static std::optional<std::vector<std::uint8_t>> LoadCompiledIn(int program);

private:
    int m_program;
    ResourceLoader m_loader;
};
