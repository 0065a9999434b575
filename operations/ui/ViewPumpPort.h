#pragma once
// The main view as the data pump's controller reaches it: its buffers, the header pane's offset
// and unprotect option, the pump's worker slot, the log, the title, the progress window and the
// hex view. The command channel comes in through SetChannel.

#include "operations/CfgVoltageSetter.h"
#include "operations/ui/PumpController.h"

#include <functional>

class CTonrigView;

class ViewPumpPort final : public PumpViewPort {
public:
    explicit ViewPumpPort(CTonrigView& view);

    // The channel the pump talks through and how the transfer sizes are set for the current
    // device. Without a channel no step starts.
    void SetChannel(PumpChannel* channel, std::function<void(int&, int&, int&)> setTransferSizes);
    bool HasChannel() const { return m_pChannel != nullptr; }

    int BufferIndex() const override;
    std::span<std::uint8_t> Buffer(int index) override;
    void ResetBuffer(int index, std::size_t size) override;
    void SetBufferIncomplete(int index, bool incomplete) override;
    std::uint32_t DeviceOffset() const override;
    bool TempUnprotect() const override;
    void SetTransferSizes(int& blockSize, int& writeBlockSize, int& writeStep) override;
    PumpChannel& Channel() override { return *m_pChannel; }
    PumpVoltageSetter& Voltages() override { return m_voltages; }
    bool StartPumpWorker(std::function<void(std::stop_token)> work) override;
    void JoinPumpWorker() override;
    void SendPowerDown() override;
    bool LinkMarkedLost() const override;
    void Log(const std::string& text, COLORREF colour) override;
    void SetTitle(const std::string& title) override;
    void ProgressStart(const std::string& caption, int range) override;
    void ProgressSetPos(int position) override;
    void ProgressHide() override;
    bool HexViewShows(std::uint32_t offset, std::size_t count) const override;
    void RefreshHexView() override;
    void PostCompletion(PumpResult result) override;

private:
    std::vector<std::uint8_t>& Vector(int index) const;

    CTonrigView& m_view;
    PumpChannel* m_pChannel = nullptr;
    std::function<void(int&, int&, int&)> m_setTransferSizes;
    CfgVoltageSetter m_voltages;
};
