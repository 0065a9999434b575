#include "operations/ui/PumpController.h"

#include "catalogue/DeviceClass.h"
#include "link/LinkLease.h"
#include "link/ProgrammerModel.h"
#include "operations/LogColours.h"
#include "operations/OperationState.h"
#include "operations/OperationText.h"
#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <algorithm>

CPumpController::CPumpController(PumpViewPort& port)
    : m_port(port)
{
}

CPumpController::~CPumpController()
{
    // A pump still running ends as cancelled. The view destroys the controller after its
    // shut-down began, so a block the pump is handing over is refused at once and the join ends.
    if (m_bRunning) {
        g_bCancelOperation = 1;
        m_port.JoinPumpWorker();
    }
}

int CPumpController::CaptionText(PumpOperation operation)
{
    switch (operation) {
    case PumpOperation::Read:
        return 75;
    case PumpOperation::Write:
        return 76;
    case PumpOperation::Erase:
        return 74;
    case PumpOperation::Verify:
        return 77;
    case PumpOperation::BlankCheck:
        return 78;
    }
    return 75;
}

std::string CPumpController::ResultText(const PumpResult& r)
{
    const char* name = PumpOperationName(r.operation);
    if (r.kind == PumpKind::Failed && r.unansweredAddress)
        return NoAnswerText(r.unansweredAddress);
    switch (r.kind) {
    case PumpKind::Done:
        return platform::Format("%c%s done.", name[0] - 'a' + 'A', name + 1);
    case PumpKind::Cancelled:
        return platform::Format("%c%s cancelled.", name[0] - 'a' + 'A', name + 1);
    case PumpKind::LinkLost:
        return platform::Format("%c%s stopped: the programmer does not answer.", name[0] - 'a' + 'A', name + 1);
    case PumpKind::Failed:
        break;
    }
    switch (r.operation) {
    case PumpOperation::Write:
        return platform::Format(
            "Write failed at 0x%06X: read back 0x%02X, written 0x%02X.", r.address, r.deviceByte, r.bufferByte);
    case PumpOperation::Verify:
        return platform::Format(
            "Verify failed at 0x%06X: device 0x%02X, buffer 0x%02X.", r.address, r.deviceByte, r.bufferByte);
    case PumpOperation::BlankCheck:
        return platform::Format("Blank check failed at 0x%06X: 0x%02X.", r.address, r.deviceByte);
    case PumpOperation::Erase:
        return "Erase failed.";
    case PumpOperation::Read:
        return "Read failed.";
    }
    return "";
}

bool CPumpController::RunStep(PumpOperation operation, std::uint8_t eraseOption)
{
    if (g_nOperationState != kStateIdle || m_bRunning || g_LinkLease.IsHeld())
        return false;

    PumpSnapshot s;
    m_port.SetTransferSizes(s.blockSize, s.writeBlockSize, s.writeStep);
    s.operation = operation;
    s.device = g_CurrentDevice;
    s.classIndex = g_nCurrentClass;
    if (g_nCurrentClass >= 0 && g_nCurrentClass < kDeviceClassCount)
        s.classEntry = g_DeviceClassTable[static_cast<std::size_t>(g_nCurrentClass)];
    s.model = g_nProgrammerModel.load();
    s.deviceOffset = m_port.DeviceOffset();
    s.tempUnprotect = m_port.TempUnprotect();
    s.bufferIndex = m_port.BufferIndex();
    s.bufferBytes = m_port.Buffer(s.bufferIndex).size();
    s.eraseOption = eraseOption;

    const PumpPlan plan = MakePumpJob(s);
    if (const auto* refusal = std::get_if<PumpRefusal>(&plan)) {
        const std::string text = refusal->textNumber ? g_Language.GetText(refusal->textNumber) : refusal->text;
        if (refusal->box) {
            const std::string caption
                = refusal->captionNumber ? g_Language.GetText(refusal->captionNumber) : refusal->caption;
            MessageBox(text, caption, MB_OK | MB_ICONERROR);
        } else {
            m_port.Log(text, log_colours::kInfo);
        }
        return false;
    }
    m_job = std::get<PumpJob>(plan);
    if (!g_LinkLease.Take(LeaseHolder::Operation))
        return false;

    g_nOperationState = static_cast<int>(operation);
    g_bCancelOperation = 0;
    m_buffer = m_port.Buffer(m_job.bufferIndex);
    m_bReadBufferReset = false;
    // A serial EEPROM may not answer at all, and its read must then leave the buffer (and the
    // title that names where it came from) as it was: its buffer is reset when the first bytes come.
    if (operation == PumpOperation::Read && !m_job.eepromAddress)
        ResetReadBuffer();
    m_port.ProgressStart(
        g_Language.GetText(CaptionText(operation)), operation == PumpOperation::Erase ? 0 : m_job.m_nEndPosition);

    m_bRunning = true;
    const PumpJob job = m_job;
    const bool started = m_port.StartPumpWorker([this, job](std::stop_token stop) {
        OperationPump pump(m_port.Channel(), m_port.Voltages(), *this);
        pump.Run(job, stop);
    });
    if (!started) {
        m_bRunning = false;
        g_bCancelOperation = 1;
        g_nOperationState = kStateIdle;
        g_LinkLease.Release(LeaseHolder::Operation);
        m_port.ProgressHide();
        return false;
    }
    return true;
}

void CPumpController::ResetReadBuffer()
{
    m_port.ResetBuffer(m_job.bufferIndex, static_cast<std::size_t>(m_job.regionBytes));
    m_buffer = m_port.Buffer(m_job.bufferIndex);
    m_bReadBufferReset = true;
    m_port.SetTitle(kReadTitle);
}

std::span<const std::uint8_t> CPumpController::buffer()
{
    return m_buffer;
}

bool CPumpController::deliver(std::uint32_t offset, std::span<const std::uint8_t> bytes)
{
    // The copy runs on the GUI thread, so the hex view never paints half a block.
    const auto result = platform::send([this, offset, bytes] {
        if (!m_bReadBufferReset)
            ResetReadBuffer();
        if (offset >= m_buffer.size())
            return;
        const std::size_t n = std::min(bytes.size(), m_buffer.size() - offset);
        std::copy_n(bytes.begin(), n, m_buffer.begin() + offset);
        if (m_port.HexViewShows(offset, n))
            m_port.RefreshHexView();
    });
    return result == platform::SendResult::Delivered;
}

void CPumpController::progress(int position)
{
    m_port.ProgressSetPos(position);
}

void CPumpController::complete(PumpResult result)
{
    m_port.PostCompletion(result);
}

void CPumpController::OnCompletion(const PumpResult& r)
{
    if (!m_bRunning)
        return;
    m_port.JoinPumpWorker();
    m_bRunning = false;
    const bool linkLost = r.kind == PumpKind::LinkLost || m_port.LinkMarkedLost();
    // A read that ended before its first bytes came: unanswered, it leaves the buffer as it was;
    // else it ends as every read does.
    if (r.operation == PumpOperation::Read && !m_bReadBufferReset && !r.unansweredAddress)
        ResetReadBuffer();
    if (r.operation == PumpOperation::Read && m_bReadBufferReset) {
        const bool incomplete = r.kind != PumpKind::Done;
        m_port.SetBufferIncomplete(m_job.bufferIndex, incomplete);
        if (incomplete)
            m_port.Log(platform::Format("Buffer incomplete: 0x%06X of 0x%06X bytes read.",
                           static_cast<unsigned>(r.position), static_cast<unsigned>(r.endPosition)),
                log_colours::kError);
    }
    if (onFinished) {
        onFinished(r, linkLost);
        return;
    }
    m_port.SendPowerDown();
    m_port.ProgressHide();
    g_LinkLease.Release(LeaseHolder::Operation);
    g_nOperationState = linkLost ? kStateDisconnected : kStateIdle;
    if (onResult) {
        onResult(ToStepResult(r));
        return;
    }
    const COLORREF colour = r.kind == PumpKind::Done ? log_colours::kSuccess
        : r.kind == PumpKind::Cancelled              ? log_colours::kInfo
                                                     : log_colours::kError;
    m_port.Log(ResultText(r), colour);
}
