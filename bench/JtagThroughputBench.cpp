// The byte-code player over the virtual programmer's time model, on the manual clock, at full and
// high speed: (a) 2,048-bit capturing DR scans through a device in BYPASS, from IDLE with the DR
// stop state IDLE; (b) the PROGRAM action of a model-CPLD program (erase, 16 rows, USERCODE,
// verify). Prints packets and bytes each way, the modelled time split into USB and TCK time (the
// same run with a TCK of no cost gives the USB share), the scan payload's throughput against the
// USB limit, and the host CPU time per packet.

#include "BenchUtil.h"

#include "jtag/JtagLayer.h"
#include "jtag/builder/CpldProgram.h"
#include "jtag/player/StaplInterpreter.h"
#include "link/ProgrammerLink.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "sim/JtagHandler.h"

#include <QCoreApplication>

#include <memory>
#include <optional>
#include <vector>

using namespace bytecode;

namespace {

constexpr int kScans = 64;

// Counts what goes through the link, and the shift data (the payload) among it.
class CountingPort final : public IJtagPort {
public:
    bool Send(std::span<const std::uint8_t> bytes) override
    {
        ++packetsOut;
        bytesOut += bytes.size();
        if (pendingTdi > 0) {
            const std::size_t n = std::min(pendingTdi, bytes.size());
            payloadOut += n;
            pendingTdi -= n;
        } else if (bytes.size() == 6 && bytes[0] == kJtagCommand && bytes[1] == 2) {
            const std::size_t n = ((std::size_t { bytes[2] } << 8 | bytes[3]) + 7) / 8;
            pendingTdi = bytes[4] ? n : 0;
            pendingTdo = bytes[5] ? n : 0;
        }
        return link.Send(bytes);
    }
    int Read(std::uint8_t* buffer, int size) override
    {
        const int got = link.Read(buffer, size);
        if (got > 0) {
            ++packetsIn;
            bytesIn += static_cast<std::size_t>(got);
            const std::size_t n = std::min(pendingTdo, static_cast<std::size_t>(got));
            payloadIn += n;
            pendingTdo -= n;
        }
        return got;
    }

    LinkJtagPort link;
    std::size_t packetsOut = 0, packetsIn = 0, bytesOut = 0, bytesIn = 0, payloadOut = 0, payloadIn = 0;
    std::size_t pendingTdi = 0, pendingTdo = 0;
};

struct Row {
    CountingPort counts;
    double modelled = 0;
    double cpu = 0;
    bool ok = false;
};

// One run of `image`'s `action` on a fresh box; `tck` false makes TCKs cost nothing.
void Run(platform::usb::UsbSpeed speed, bool tck, const BuildResult& image, const char* action, Row& row)
{
    auto clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped(clock);
    auto bus = std::make_shared<platform::usb::VirtualBus>();
    sim::BoxConfig config;
    config.version = "ZV-CQ Re-1.00";
    config.speed = speed;
    if (!tck)
        config.time.tck = platform::Duration(0);
    auto box = sim::Box::PlugInto(*bus, config);
    g_ProgrammerLink.ResetForTest(bus);
    if (!g_ProgrammerLink.LoadFirmwareIfReady(358)) {
        g_ProgrammerLink.ResetForTest();
        return;
    }
    const std::uint8_t vcc[2] = { 15, 1 };
    g_ProgrammerLink.SendData(vcc, 2);
    {
        std::lock_guard lock(box->Mutex());
        box->Jtag().SocketChain().Add(std::make_unique<sim::ModelCpld>());
    }
    const auto view = StaplImage::Open(image.image);
    StaplRunOptions options;
    options.hasAction = true;
    options.action = action;
    JtagLayer layer(row.counts);
    StaplInterpreter interpreter;
    const auto start = clock->Now();
    const double cpu = bench::CpuSeconds();
    const StaplExecution e = interpreter.Execute(*view, {}, options, layer, [](const std::string&) {}, {});
    row.cpu = bench::CpuSeconds() - cpu;
    row.modelled = std::chrono::duration<double>(clock->Now() - start).count();
    row.ok = e.result == 0 && e.exitCode == 0;
    g_ProgrammerLink.ResetForTest();
}

BuildResult BypassScans()
{
    ImageBuilder b(Container::Stapl);
    std::vector<bool> data(2048);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = (i * 37 + 11) % 3 == 0;
    b.AddBooleanArray("BYPASS", std::vector<bool>(8, true));
    b.AddBooleanArray("DATA", data);
    b.AddUninitialisedArray("CAP", true, 2048);
    b.AddInteger("I", 0);
    const Label entry = b.NewLabel();
    b.Bind(entry);
    b.Emit("DRSTOP", { 1 }); // IDLE
    b.Emit("PUSHI", { 8 });
    b.Emit("PUSHI", { 0 });
    b.Emit("IRSCAN", { Sym("BYPASS") });
    b.Emit("PUSHI", { 1 });
    b.Emit("PUSHI", { kScans });
    b.Emit("PUSHI", { 1 });
    b.Emit("FOR", { Sym("I") });
    b.Emit("PUSHI", { 2048 });
    b.Emit("PUSHI", { 0 });
    b.Emit("PUSHI", { 0 });
    b.Emit("DRSCANC", { Sym("DATA"), Sym("CAP") });
    b.Emit("NEXT", { Sym("I") });
    b.Emit("RETURN");
    b.AddProcedure("SCANS", entry);
    b.AddAction("SCANS", std::nullopt, { { "SCANS" } });
    return b.Build();
}

void Print(const char* speed, const char* what, const Row& full, const Row& usbOnly, double limit)
{
    const CountingPort& c = full.counts;
    const double payload = static_cast<double>(c.payloadOut + c.payloadIn);
    const double rate = payload / full.modelled;
    const std::size_t packets = c.packetsOut + c.packetsIn;
    std::printf("%-5s %-16s out %6zu pk %8zu B | in %5zu pk %7zu B | %8.4f s = USB %8.4f + TCK %8.4f | "
                "payload %10.0f B/s %5.2f %% of USB | %5.2f us CPU/packet%s\n",
        speed, what, c.packetsOut, c.bytesOut, c.packetsIn, c.bytesIn, full.modelled, usbOnly.modelled,
        full.modelled - usbOnly.modelled, rate, 100.0 * rate / limit,
        packets ? full.cpu * 1e6 / static_cast<double>(packets) : 0.0, full.ok && usbOnly.ok ? "" : "  (ERRORS)");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::PrintMachine();
    sim::SetProtocolErrorHook([](const std::string& what) { std::printf("protocol error: %s\n", what.c_str()); });
    CpldProgramPlan plan;
    plan.idcode = sim::kSocketCpldIdcode;
    plan.usercode = 0x15071900;
    plan.rows = CpldPatternRows(420);
    plan.rowClocks = 100; // the model's K at level 5
    const BuildResult program = BuildCpldProgram(plan);
    const BuildResult scans = BypassScans();
    if (!program.ok() || !scans.ok()) {
        std::printf("build failed: %s%s\n", program.error.c_str(), scans.error.c_str());
        return 1;
    }
    std::printf("(a) %d scans of 2,048 bits; (b) PROGRAM\n", kScans);
    for (const bench::Speed& s : bench::kSpeeds) {
        struct Case {
            const char* what;
            const BuildResult& image;
            const char* action;
        };
        for (const Case& c :
            { Case { "(a) bypass scans", scans, "SCANS" }, Case { "(b) PROGRAM", program, "PROGRAM" } }) {
            Row full, usbOnly;
            Run(s.speed, true, c.image, c.action, full);
            Run(s.speed, false, c.image, c.action, usbOnly);
            Print(s.name, c.what, full, usbOnly, s.limit);
        }
    }
    return 0;
}
