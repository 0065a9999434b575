#pragma once
// The view's side of the data pump: starts a read, write, erase, verify or blank check from its
// timer step on the GUI thread, is the pump's PumpHost while it runs, and takes its one result
// back on the GUI thread. What it needs of the view comes through a PumpViewPort, so it is tested
// without the view's windows.

#include "operations/OperationPump.h"
#include "operations/PumpHost.h"
#include "platform/Colour.h"

#include <cstdint>
#include <functional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

// What the controller needs of the main view.
class PumpViewPort {
public:
    virtual ~PumpViewPort() = default;

    // The selection.
    virtual int BufferIndex() const = 0;
    // The buffer's bytes (as many as it holds now); nothing else changes them while a pump runs.
    virtual std::span<std::uint8_t> Buffer(int index) = 0;
    // Makes the buffer a block of `size` bytes of 0xFF (a read's start).
    virtual void ResetBuffer(int index, std::size_t size) = 0;
    virtual void SetBufferIncomplete(int index, bool incomplete) = 0;
    virtual std::uint32_t DeviceOffset() const = 0; // the header pane's, when the step starts
    virtual bool TempUnprotect() const = 0;
    // Sets the transfer sizes for the current class and device (the command channel's
    // SetTransferSizes) and hands them back.
    virtual void SetTransferSizes(int& blockSize, int& writeBlockSize, int& writeStep) = 0;

    // The pump's world and its worker slot.
    virtual PumpChannel& Channel() = 0;
    virtual PumpVoltageSetter& Voltages() = 0;
    virtual bool StartPumpWorker(std::function<void(std::stop_token)> work) = 0;
    virtual void JoinPumpWorker() = 0;
    virtual void SendPowerDown() = 0; // P_POWER_DOWN [21]
    virtual bool LinkMarkedLost() const = 0; // the link watch saw the programmer go

    // What the user sees.
    virtual void Log(const std::string& text, COLORREF colour) = 0;
    virtual void SetTitle(const std::string& title) = 0;
    virtual void ProgressStart(const std::string& caption, int range) = 0;
    virtual void ProgressSetPos(int position) = 0; // any thread
    virtual void ProgressHide() = 0;
    // True when the hex view is visible and shows any of [offset, offset + count).
    virtual bool HexViewShows(std::uint32_t offset, std::size_t count) const = 0;
    virtual void RefreshHexView() = 0; // WM_BUFFER_REFRESH
    // Posts the completion to the GUI thread; the controller's OnCompletion handles it unless the
    // operation control takes it over.
    virtual void PostCompletion(PumpResult result) = 0;
};

class CPumpController final : public PumpHost {
public:
    static constexpr const char* kReadTitle = "USB Universal Programmer - (Read from device)";

    explicit CPumpController(PumpViewPort& port);
    ~CPumpController() override;

    // A step on its timer (GUI thread): false when it did not start (not idle, the link held, a
    // refusal, the worker slot busy).
    bool RunStep(PumpOperation operation, std::uint8_t eraseOption = 0);
    bool Running() const { return m_bRunning; }

    // The completion on the GUI thread: joins the pump, powers the socket down, releases the
    // lease, sets the state (0 after a lost link), marks a read that ended early incomplete, and
    // then hands the result to `onResult` (the operation control's OnResult), or without one logs
    // it.
    void OnCompletion(const PumpResult& result);
    std::function<void(const StepResult&)> onResult;
    // Set by the view, it takes over after the join and the read's incomplete mark: it gets the
    // result and whether the link was lost (the link watch's mark, taken here), and does the rest
    // of the completion itself.
    std::function<void(const PumpResult&, bool linkLost)> onFinished;

    // The language text of a step's progress caption.
    static int CaptionText(PumpOperation operation);
    // The log line of a result.
    static std::string ResultText(const PumpResult& result);

    // PumpHost (the pump's thread).
    std::span<const std::uint8_t> buffer() override;
    bool deliver(std::uint32_t offset, std::span<const std::uint8_t> bytes) override;
    void progress(int position) override;
    void complete(PumpResult result) override;

private:
    // A read's start: its buffer becomes a 0xFF block of the region's size, the title says it is
    // read from the device (GUI thread).
    void ResetReadBuffer();

    PumpViewPort& m_port;
    PumpJob m_job;
    std::span<std::uint8_t> m_buffer;
    bool m_bRunning = false;
    bool m_bReadBufferReset = false; // GUI thread only
};
