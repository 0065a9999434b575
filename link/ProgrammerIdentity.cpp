#include "link/ProgrammerIdentity.h"

#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "platform/Trace.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kReplySize = 64;

bool Printable(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7F;
}

// The text of a 64-byte reply before its first NUL; empty when the reply is short or the text
// holds a character that is not printable ASCII.
std::string ReplyText(const std::array<std::uint8_t, kReplySize>& reply, int count)
{
    if (count < kReplySize)
        return {};
    const auto* text = reinterpret_cast<const char*>(reply.data());
    std::string s(text, strnlen(text, reply.size()));
    if (!std::all_of(s.begin(), s.end(), Printable))
        return {};
    return s;
}

ProgrammerIdentity Fail(ProgrammerIdentity identity, std::string why)
{
    identity.ok = false;
    identity.failure = std::move(why);
    identity.history.Clear();
    Trace("Programmer identification failed: %s\n", identity.failure.c_str());
    return identity;
}

void Note(ProgrammerIdentity& identity, std::string line)
{
    Trace("%s\n", line.c_str());
    identity.log.push_back(std::move(line));
}

class LinkAdaptor final : public IdentifyLink {
public:
    explicit LinkAdaptor(CProgrammerLink& link)
        : m_link(link)
    {
    }

    Load LoadFirmwareIfReady(int number) override
    {
        switch (m_link.LoadFirmwareIfReady(number).outcome) {
        case FirmwareLoadResult::Loaded:
            return Load::Loaded;
        case FirmwareLoadResult::NoProgrammer:
            return Load::NoProgrammer;
        case FirmwareLoadResult::Failed:
            break;
        }
        return Load::Failed;
    }
    int Exchange(const std::uint8_t* packet, int length, std::uint8_t* reply, int size, int timeoutMs,
        std::stop_token stop) override
    {
        return m_link.Exchange(packet, length, reply, size, timeoutMs, stop);
    }

private:
    CProgrammerLink& m_link;
};

} // namespace

int ProgrammerModelOfVersion(const std::string& version)
{
    // Longest names first: "ZV-CQ" must not be taken for "ZV-C".
    static const std::pair<const char*, int> models[] = {
        { "ZV-CQ", kModelZvCQ },
        { "ZV-D", kModelZvD },
        { "ZV-C", kModelZvC },
        { "ZV-B", kModelZvB },
        { "ZV-A", kModelZvA },
    };
    for (const auto& [name, code] : models)
        if (version.rfind(name, 0) == 0)
            return code;
    return 0;
}

ProgrammerIdentity IdentifyProgrammer(IdentifyLink& link, std::stop_token stop)
{
    ProgrammerIdentity identity;
    const char* const kStopped = "stopped";
    std::array<std::uint8_t, kReplySize> reply {};
    auto ask = [&](std::vector<std::uint8_t> packet) {
        reply.fill(0);
        return link.Exchange(
            packet.data(), static_cast<int>(packet.size()), reply.data(), kReplySize, kIdentifyReplyTimeoutMs, stop);
    };

    if (stop.stop_requested())
        return Fail(std::move(identity), kStopped);
    if (link.LoadFirmwareIfReady(kIdentifyFirmware) != IdentifyLink::Load::Loaded)
        return Fail(std::move(identity), "Firmware 355 could not be loaded.");

    if (stop.stop_requested())
        return Fail(std::move(identity), kStopped);
    const int versionCount = ask({ P_VERSION });
    if (stop.stop_requested())
        return Fail(std::move(identity), kStopped);
    identity.version = ReplyText(reply, versionCount);
    if (identity.version.empty())
        return Fail(std::move(identity), "The programmer did not answer its version.");

    identity.model = ProgrammerModelOfVersion(identity.version);
    if (identity.model == 0) {
        identity.model = kModelZvC;
        Note(identity, "Unknown programmer model: " + identity.version);
    }

    const int serialCount = ask({ P_HW_SERIAL_NUMBER });
    if (stop.stop_requested())
        return Fail(std::move(identity), kStopped);
    std::string serial = ReplyText(reply, serialCount).substr(0, 10);
    std::transform(serial.begin(), serial.end(), serial.begin(),
        [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    identity.serial = serial;
    if (identity.serial.empty())
        Note(identity, "The programmer did not answer its serial number.");

    std::array<std::uint8_t, CBlackBox::kSize> image {};
    bool read = true;
    for (std::size_t offset = 0; offset < image.size() && read; offset += kReplySize) {
        const int count = ask({ P_EEPROM_Read, 0, static_cast<std::uint8_t>(offset), kReplySize });
        if (stop.stop_requested())
            return Fail(std::move(identity), kStopped);
        read = count == kReplySize;
        if (read)
            std::copy(reply.begin(), reply.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    std::string why;
    if (!read) {
        identity.history.Clear();
        Note(identity, "The programmer did not answer its usage history.");
    } else if (!identity.history.Parse(image, &why)) {
        Note(identity, why);
    }

    identity.ok = true;
    return identity;
}

ProgrammerIdentity IdentifyProgrammer(CProgrammerLink& link, std::stop_token stop)
{
    LinkAdaptor adaptor(link);
    return IdentifyProgrammer(adaptor, stop);
}
