// Any text through the start-up readers that take outside text: the header pane's offset field,
// and the probe's kernel-release and os-release parsers behind the log's system line. An
// accepted offset prints back to itself; the system line never carries a control character but
// its own line ends.

#include "operations/HeaderModel.h"
#include "operations/StartupChecks.h"
#include "platform/OsVersion.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (const auto offset = ParseHeaderOffset(text)) {
        char printed[16];
        std::snprintf(printed, sizeof printed, "%X", static_cast<unsigned>(*offset));
        const auto again = ParseHeaderOffset(printed);
        if (!again || *again != *offset)
            std::abort();
    }

    // The first line is the kernel release, the rest the os-release text.
    const std::size_t newline = text.find('\n');
    const std::string kernel = text.substr(0, newline);
    const std::string osRelease = newline == std::string::npos ? std::string() : text.substr(newline + 1);
    const std::string line
        = LinuxVersionLine(platform::OsReleasePrettyName(osRelease), platform::ParseKernelRelease(kernel));
    const std::string tail = ")\n\r\n";
    if (line.size() < tail.size() || line.compare(0, 5, "Linux") != 0
        || line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
        std::abort();
    for (std::size_t i = 0; i + 3 < line.size(); ++i)
        if (static_cast<unsigned char>(line[i]) < 0x20)
            std::abort();
    return 0;
}
