
// The data pump end to end: 512 KB read and written on class 200 with the ZV-C
// (model 5) and ZV-CQ (model 7) transfer sizes, through the command channel and
// the link to the virtual programmer, at full and high speed, on the manual
// clock. Per case: the modelled wire time, the real time of the run (host and
// in-process programmer) and their ratio; throughput beside the model's byte
// rate and the USB ceiling; OUT transfers, IN units and block requests. Real
// time is the best of five runs.

#include "bench/BenchUtil.h"
#include "catalogue/DeviceClassTable.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/CommandChannel.h"
#include "operations/CommandChannelPump.h"
#include "operations/OperationPump.h"
#include "operations/SetupLinkPort.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"

#include <algorithm>
#include <cstdio>

using namespace platform;
using namespace platform::usb;

namespace {

constexpr int kSize = 512 * 1024;
constexpr int kClass = 200;

// Counts what crosses the link: OUT transfers and IN units.
class CountingLink final : public IChannelLink {
public:
    bool Send(const std::uint8_t* data, int length) override
    {
        ++outs;
        return port.Send(data, length);
    }
    int Read(std::uint8_t* buffer, int size) override
    {
        const int n = port.Read(buffer, size);
        if (n > 0)
            ++ins;
        return n;
    }
    bool Open() override { return port.Open(); }
    int TransportMode() const override { return port.TransportMode(); }
    int UsbChipType() const override { return port.UsbChipType(); }

    ProgrammerLinkPort port;
    long outs = 0;
    long ins = 0;
};

class NoVoltages final : public PumpVoltageSetter {
public:
    void SetVoltages(const PumpVoltages&) override { }
};

class Host final : public PumpHost {
public:
    std::vector<std::uint8_t> data;
    PumpResult result;
    std::span<const std::uint8_t> buffer() override { return data; }
    bool deliver(std::uint32_t offset, std::span<const std::uint8_t> bytes) override
    {
        std::copy(bytes.begin(), bytes.end(), data.begin() + offset);
        return true;
    }
    void progress(int) override { }
    void complete(PumpResult r) override { result = r; }
};

class CountingChannel final : public PumpChannel {
public:
    explicit CountingChannel(PumpChannel& inner)
        : m_inner(inner)
    {
    }
    void Drain() override { m_inner.Drain(); }
    Status SendCommand(const std::uint8_t* p, int size, bool batch) override
    {
        if (p[0] == P_READ)
            ++requests;
        return m_inner.SendCommand(p, size, batch);
    }
    int ReadResponse(std::uint8_t* b, int size, Status& status) override
    {
        return m_inner.ReadResponse(b, size, status);
    }
    Status SetProgramDelay(int ms, std::stop_token stop) override { return m_inner.SetProgramDelay(ms, stop); }
    long requests = 0;

private:
    PumpChannel& m_inner;
};

struct Figures {
    double wire = 0;
    double real = 0;
    long outs = 0;
    long ins = 0;
    long requests = 0;
    bool ok = false;
};

Figures RunCase(UsbSpeed speed, const char* version, PumpOperation op)
{
    auto clock = std::make_shared<ManualClock>();
    ScopedClock scoped(clock);
    auto bus = std::make_shared<VirtualBus>();
    sim::BoxConfig config;
    config.speed = speed;
    config.strict = true;
    config.version = version;
    auto box = sim::Box::PlugInto(*bus, config);
    g_ProgrammerLink.ResetForTest(bus);
    if (!g_ProgrammerLink.LoadFirmwareIfReady(355))
        std::fprintf(stderr, "the image did not load\n");
    g_nProgrammerModel = sim::ModelOfVersion(version);
    g_nCurrentClass = kClass;
    g_CurrentDevice = g_DeviceClassTable[kClass];
    g_CurrentDevice.m_nCodeSize = kSize;
    g_CurrentDevice.m_nReadVpp = 0xFF;

    sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Flash, kSize);
    chipSpec.vppRuleOff = true;
    chipSpec.packageCode = g_DeviceClassTable[kClass].m_nPackageCode;
    std::vector<std::uint8_t> pattern(kSize);
    for (int i = 0; i < kSize; ++i)
        pattern[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 37 + (i >> 9));
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = box->ChipSocket().Insert(chipSpec);
        if (op == PumpOperation::Read)
            chip.Contents(sim::ChipMemory::Main) = pattern;
    }

    CountingLink link;
    CommandChannel channel(link, CommandChannel::Hooks { {}, {}, [] { return g_bCancelOperation.load() != 0; } });
    CommandChannelPump adapter(channel);
    CountingChannel counting(adapter);
    NoVoltages voltages;
    Host host;
    host.data = op == PumpOperation::Read ? std::vector<std::uint8_t>(kSize, 0xFF) : pattern;

    channel.SetTransferSizes();
    PumpSnapshot s;
    s.operation = op;
    s.device = g_CurrentDevice;
    s.classEntry = g_DeviceClassTable[kClass];
    s.classIndex = kClass;
    s.model = g_nProgrammerModel.load();
    s.bufferBytes = host.data.size();
    s.blockSize = channel.m_nBlockSize;
    s.writeBlockSize = channel.m_nWriteBlockSize;
    s.writeStep = channel.m_nWriteStep;
    const PumpJob job = std::get<PumpJob>(MakePumpJob(s));

    Figures f;
    const Duration wireStart = box->Port()->WireTime();
    g_bCancelOperation = 0;
    channel.BeginOperation();
    OperationPump pump(counting, voltages, host);
    f.real = bench::Seconds([&] { pump.Run(job); });
    f.wire = std::chrono::duration<double>(box->Port()->WireTime() - wireStart).count();
    f.outs = link.outs;
    f.ins = link.ins;
    f.requests = counting.requests;
    {
        std::lock_guard lock(box->Mutex());
        const auto& chip = box->ChipSocket().Get()->Contents(sim::ChipMemory::Main);
        f.ok = host.result.kind == PumpKind::Done && chip == pattern && host.data == pattern;
    }
    g_ProgrammerLink.ResetForTest();
    return f;
}

} // namespace

int main()
{
    bench::PrintMachine();
    InitDeviceClassTable();
    struct Speed {
        UsbSpeed speed;
        const char* name;
        double modelRate; // bytes per second of the wire model
        double ceiling; // USB bulk ceiling
    };
    const Speed speeds[] = {
        { UsbSpeed::Full, "full", 1.0e6, 1216000.0 },
        { UsbSpeed::High, "high", 35.0e6, 53248000.0 },
    };
    for (const Speed& sp : speeds) {
        for (const char* version : { "ZV-C Re-2.00", "ZV-CQ Re-2.00" }) {
            for (PumpOperation op : { PumpOperation::Read, PumpOperation::Write }) {
                // The best of five runs: other work on the machine only ever adds time.
                Figures f = RunCase(sp.speed, version, op);
                for (int i = 1; i < 5; ++i) {
                    const Figures again = RunCase(sp.speed, version, op);
                    f.real = std::min(f.real, again.real);
                    f.ok = f.ok && again.ok;
                }
                const double throughput = kSize / f.wire;
                std::printf("%s speed, model %d, 512 KB %s: wire %.3f s, real %.3f s, "
                            "real/wire %.4f; "
                            "%.0f B/s = %.3f of the model's rate, %.3f of the USB ceiling; "
                            "%ld OUT transfers, %ld IN units, %ld block requests%s\n",
                    sp.name, sim::ModelOfVersion(version), PumpOperationName(op), f.wire, f.real, f.real / f.wire,
                    throughput, throughput / sp.modelRate, throughput / sp.ceiling, f.outs, f.ins, f.requests,
                    f.ok ? "" : "  FAILED");
            }
        }
    }
    return 0;
}
