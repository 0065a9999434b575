// Any byte string through the byte-code loader: the validation, every reader, every note by
// index and by key, every action's listing, and the player's information run; then the
// interpreter runs the image (its first action, or a Jam 1.1 image's code) against a port that
// answers nothing, on an instruction budget. Nothing may read outside the input, and the readers
// must agree with the validation.

#include "jtag/JtagLayer.h"
#include "jtag/JtagPort.h"
#include "jtag/player/StaplImage.h"
#include "jtag/player/StaplInterpreter.h"
#include "jtag/player/StaplPlayer.h"
#include "platform/Clock.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

class NullPort final : public IJtagPort {
public:
    bool Send(std::span<const std::uint8_t>) override { return true; }
    int Read(std::uint8_t*, int) override { return 0; }
};

class Host final : public IStaplHost {
public:
    explicit Host(std::span<const std::uint8_t> image)
        : m_image(image.begin(), image.end())
    {
    }
    std::string ProgramName() const override { return "fuzz.jbc"; }
    bool LoadImage(std::vector<std::uint8_t>& image, std::string&) override
    {
        image = m_image;
        return true;
    }
    void Output(const std::string&) override { }
    void Console(const std::string&) override { }
    IJtagPort& Port() override { return m_port; }
    int SpeedLevel() override { return 5; }
    std::stop_token Cancel() override { return {}; }

private:
    std::vector<std::uint8_t> m_image;
    NullPort m_port;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::span<const std::uint8_t> image(data, size);
    const bool valid = StaplImage::Open(image).has_value();

    std::uint16_t expected = 0, actual = 0;
    const int crc = StaplCheckCrc(image, expected, actual);
    if ((crc == 2) == valid)
        std::abort();
    int version = 0, actions = 0, procedures = 0;
    if ((StaplGetFileInfo(image, version, actions, procedures) == 0) != valid)
        std::abort();
    if (!valid)
        return 0;

    std::string key, value;
    int index = 0;
    for (int guard = 0; StaplGetNote(image, index, key, value) == 0; ++guard) {
        if (key.size() > kStaplNoteChars || value.size() > kStaplNoteChars || guard > static_cast<int>(size))
            std::abort();
        // A key cut to the note limit may name no note; a whole one names at least itself.
        std::string byKey;
        if (key.size() < kStaplNoteChars && StaplGetNote(image, key, byKey) != 0)
            std::abort();
    }
    std::string name, description;
    bool hasDescription = false;
    std::vector<StaplProcedureInfo> procs;
    for (int a = 0; a < actions; ++a)
        if (StaplGetActionInfo(image, a, name, description, hasDescription, procs) != 0
            || procs.size() > static_cast<std::size_t>(procedures))
            std::abort();

    Host host(image);
    RunStaplPlayer(host, { "not used", "-i" });

    platform::ScopedClock clock(std::make_shared<platform::ManualClock>());
    const auto view = StaplImage::Open(image);
    StaplRunOptions options;
    if (actions > 0) {
        bool has = false;
        options.hasAction = StaplGetActionInfo(*view, 0, options.action, description, has, procs) == 0;
    }
    NullPort port;
    JtagLayer layer(port);
    StaplInterpreter interpreter;
    interpreter.SetInstructionBudget(20000);
    const StaplExecution e = interpreter.Execute(*view, {}, options, layer, [](const std::string&) {}, {});
    if (e.result < 0 || e.result > 24)
        std::abort();
    return 0;
}
