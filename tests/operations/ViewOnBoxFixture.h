#pragma once
// The program's main view against a virtual programmer on a virtual bus: the box plugged and its
// firmware loaded as the program's identification leaves it, the view (and its header pane) made,
// boxes answered by the test, and the globals set back afterwards. The tests derive from it and add
// their own set-up after calling SetUp.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLists.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerLink.h"
#include "operations/OperationControl.h"
#include "operations/OperationState.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/View2Header.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "shell/LanguageLoader.h"
#include "sim/Box.h"
#include "sim/Electrical.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "ViewGlobalsReset.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tonrig::test {

inline std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// Bytes that differ from address to address and from seed to seed.
inline std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed = 1)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>((i * 37 + seed * 11) ^ (i >> 8));
    return v;
}

struct ViewOnBoxSetup {
    // Manual: the chip's replies come when its work is done on the clock and the clock moves
    // straight to them. Otherwise a scaled clock, slow enough that the link's time-outs never fire
    // on a loaded machine.
    bool manualClock = true;
    // The version the box reports.
    std::string version = "ZV-CQ Re-2.00";
    // Whether the view gets a header pane.
    bool header = true;
    // Whether Insert gives the chip the package of the selected class.
    bool packageOfClass = true;
};

class ViewOnBoxFixture : public testing::Test {
protected:
    explicit ViewOnBoxFixture(ViewOnBoxSetup setup = {})
        : m_setup(std::move(setup))
        , clock(m_setup.manualClock ? std::shared_ptr<platform::Clock>(std::make_shared<platform::ManualClock>())
                                    : platform::MakeScaledClock(20))
        , scoped(clock)
    {
    }

    void SetUp() override
    {
        InitLanguageForView();
        InitDeviceClassTable();
        // What the program's start leaves in the data folder: the shipped lists and a PIC's
        // description files.
        InstallShippedDeviceLists();
        Plug();
        if (HasFatalFailure())
            return;
        if (m_setup.header)
            header = std::make_unique<CView2Header>();
        view = std::make_unique<CTonrigView>();
        g_nOperationState = kStateIdle;
    }
    void TearDown() override
    {
        view.reset();
        header.reset();
        ResetViewGlobals();
    }

    // A box of this version (the fixture's own by default), brought up as the program's
    // identification leaves it.
    void Plug() { Plug(m_setup.version); }
    void Plug(const std::string& version)
    {
        if (box)
            box->Port()->Disconnect();
        sim::BoxConfig config;
        config.version = version;
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
        g_nProgrammerModel = sim::ModelOfVersion(version);
        g_CFGManager.ResetState();
    }

    // Selects class `index` as the selection would, with `size` bytes of main memory (and
    // `dataSize` of data), and sizes the buffers to it.
    void Select(int index, int size, int dataSize = 0)
    {
        g_nCurrentClass = index;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
        g_CurrentDevice.m_nCodeSize = size;
        g_CurrentDevice.m_nDataSize = dataSize;
        g_CurrentDevice.m_nReadVpp = 0xFF;
        view->m_CodeBuffer.assign(static_cast<std::size_t>(size), 0xFF);
        view->m_DataBuffer.assign(static_cast<std::size_t>(dataSize), 0xFF);
    }
    sim::Chip& Insert(sim::ChipSpec chipSpec)
    {
        chipSpec.vppRuleOff = true;
        if (m_setup.packageOfClass)
            chipSpec.packageCode = g_DeviceClassTable[static_cast<std::size_t>(g_nCurrentClass)].m_nPackageCode;
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Insert(std::move(chipSpec));
    }
    std::vector<std::uint8_t> Chip(sim::ChipMemory memory = sim::ChipMemory::Main)
    {
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Get()->Contents(memory);
    }
    bool Powered()
    {
        std::lock_guard lock(box->Mutex());
        return box->Electrical().RailsOn();
    }

    // The header pane's run with exactly these boxes checked: none unless named.
    void CheckOnly(std::initializer_list<HeaderOption> options = {})
    {
        for (int i = 0; i < static_cast<int>(HeaderOption::Count); ++i)
            header->SetOption(static_cast<HeaderOption>(i), false);
        for (HeaderOption option : options)
            header->SetOption(option, true);
    }

    std::string Log() const { return view->MessageLog().GetText(); }
    virtual bool Idle() const
    {
        return !view->Pump().Running() && !view->ExchangeRunning() && view->Control().ArmedTimer() == 0
            && !g_LinkLease.IsHeld() && g_nOperationState <= kStateIdle;
    }
    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> out;
        for (const auto& b : boxes.Boxes())
            out.push_back(b.text + " | " + b.caption);
        return out;
    }

    const ViewOnBoxSetup m_setup;
    ScopedSettingsFile settings;
    RecordingMessageBox boxes;
    std::shared_ptr<platform::Clock> clock;
    platform::ScopedClock scoped;
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<sim::Box> box;
    std::unique_ptr<CView2Header> header;
    std::unique_ptr<CTonrigView> view;
};

} // namespace tonrig::test
