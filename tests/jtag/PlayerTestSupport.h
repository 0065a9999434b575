#pragma once
// A byte-code run without a programmer: a host that hands the player a built image and keeps the
// printed lines, a port that answers every read with zeros, and the player run on a manual clock.
// LinkHost is the same host on the programmer link, for the runs on the virtual programmer.

#include "jtag/JtagLayer.h"
#include "jtag/JtagPort.h"
#include "jtag/builder/ImageBuilder.h"
#include "jtag/player/StaplPlayer.h"
#include "platform/Clock.h"
#include "platform/TextFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

namespace bytecode::test {

using Image = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

class NullPort final : public IJtagPort {
public:
    bool Send(std::span<const std::uint8_t>) override
    {
        ++sends;
        return true;
    }
    int Read(std::uint8_t* buffer, int size) override
    {
        std::fill_n(buffer, size, 0);
        return size;
    }
    int sends = 0;
};

// Hands the player `image` and keeps the printed lines without the closing "Elapsed time" line;
// the JTAG packets go to `port`.
template <typename PortType> class HostOn final : public IStaplHost {
public:
    explicit HostOn(Image bytes = {})
        : image(std::move(bytes))
    {
    }
    std::string ProgramName() const override { return "test.jbc"; }
    bool LoadImage(std::vector<std::uint8_t>& out, std::string&) override
    {
        out = image;
        return true;
    }
    void Output(const std::string& line) override
    {
        if (line.rfind("Elapsed time", 0) != 0)
            output.push_back(line);
    }
    void Console(const std::string&) override { }
    IJtagPort& Port() override { return port; }
    int SpeedLevel() override { return level.load(); }
    std::stop_token Cancel() override { return stop.get_token(); }

    Image image;
    Lines output;
    PortType port;
    std::atomic<int> level { 5 };
    std::stop_source stop;
};

using Host = HostOn<NullPort>;
using LinkHost = HostOn<LinkJtagPort>;

struct Outcome {
    PlayerOutcome outcome;
    Lines lines; // the output without the closing "Elapsed time" line
};

inline Outcome Play(const BuildResult& built, std::vector<std::string> args = {})
{
    EXPECT_TRUE(built.ok()) << built.error;
    platform::ScopedClock clock(std::make_shared<platform::ManualClock>());
    Host host(built.image);
    args.insert(args.begin(), "not used");
    Outcome o;
    o.outcome = RunStaplPlayer(host, args);
    o.lines = host.output;
    return o;
}

inline std::string ErrorLine(std::uint32_t offset, const char* text)
{
    return platform::Format("Error at address %ld: %s.", static_cast<long>(offset), text);
}

} // namespace bytecode::test
