// The Device menu's operation commands, Batch Run and the end of a read. A multi-buffer device (a
// configuration descriptor or a data memory) walks its buffers from buffer 0; other devices run the
// step on the current buffer.

#include "operations/ui/TonrigView.h"

#include "operations/LogColours.h"
#include "operations/OperationControl.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ViewSetup.h"
#include "shell/Language.h"

bool CTonrigView::BeginDeviceCommand()
{
    if (m_bShutDown)
        return false;
    ClearFailureNote();
    // A command refused because a run is in flight keeps that run's answer to the adapter reminder.
    if (!RunInFlight())
        m_pControl->BeginCommand();
    return PrepareOperation();
}

bool CTonrigView::IsMultiBuffer() const
{
    return g_CurrentDevice.m_pPicConfig != nullptr || g_CurrentDevice.m_nDataSize > 0;
}

void CTonrigView::StartBufferCommand(UINT timer, bool write)
{
    OperationRunFlags& flags = RunFlags();
    if (write)
        flags.writeRepeated = false;
    if (IsMultiBuffer()) {
        flags.bufferRun = true;
        flags.bufferRunWrite = write;
        flags.bufferIndex = 0;
        m_nBufferIndex = 0;
        m_pBufferCommands->SetBufferIndex(0);
    }
    ShowBufferTab(1);
    RunStepOfTimer(timer);
}

void CTonrigView::OnDeviceRead()
{
    if (!BeginDeviceCommand())
        return;
    if (IsMultiBuffer()) {
        OperationRunFlags& flags = RunFlags();
        flags.bufferRun = true;
        flags.bufferRunWrite = false;
        StartOperation(15);
        return;
    }
    StartBufferCommand(kTimerRead, false);
}

void CTonrigView::OnDeviceWrite()
{
    if (BeginDeviceCommand())
        StartBufferCommand(kTimerWrite, true);
}

void CTonrigView::OnDeviceVerify()
{
    if (BeginDeviceCommand())
        StartBufferCommand(kTimerVerify, false);
}

void CTonrigView::OnDeviceBlankCheck()
{
    if (BeginDeviceCommand())
        StartBufferCommand(kTimerBlankCheck, false);
}

void CTonrigView::OnBatchRun()
{
    if (!BeginDeviceCommand())
        return;
    OperationRunFlags& flags = RunFlags();
    flags.bufferIndex = 0;
    m_nBufferIndex = 0;
    m_pBufferCommands->SetBufferIndex(0);
    ShowBufferTab(1);
    flags.autoRun = true;
    // The ID check is the first step of the order; nothing checked clears the batch flag.
    StartOperation(9);
}

void CTonrigView::OnReadDone(const StepResult& result)
{
    // A cancel has logged the elapsed time already, when it was asked for; a read that never
    // started has none.
    if (result.kind != StepKind::Cancelled && result.kind != StepKind::Refused)
        m_pControl->LogElapsed();
    bool readConfigWords = false;
    switch (result.kind) {
    case StepKind::Done: {
        Log(g_Language.GetText(57) + "\r\n", log_colours::kSuccess);
        const OperationRunFlags& flags = RunFlags();
        if (!flags.bufferRun)
            m_pControl->OnResult(result); // the batch goes on, or the controls come back
        else if (flags.bufferIndex == 0)
            StartOperation(14);
        else if (flags.bufferIndex == 1)
            StartOperation(13);
        else if (flags.bufferIndex == 2)
            readConfigWords = true; // after the tail below, which resets the channel
        else
            m_pControl->EndReadSequence();
        break;
    }
    case StepKind::Cancelled:
        Log(g_Language.GetText(58) + "\r\n", log_colours::kInfo);
        m_pControl->OnResult(result);
        break;
    default:
        // A failure or a lost link: no continuation (the lost link's line comes from here).
        m_pControl->OnResult(result);
        break;
    }
    // The transfer counters: the pump's own end with its job; the block sizes are set again by
    // every step, and the batch is emptied.
    m_nEndPosition = 0;
    m_nBatchFill = 0;
    m_pSetup->Channel().BeginOperation();
    // The buffer holds the chip's bytes now (or part of them), not the file's; a chip that did
    // not answer left it as it was.
    if (result.kind != StepKind::Refused && !result.unansweredAddress)
        m_pBufferCommands->ForgetSavedState();
    // A read that did not end well leaves the log in sight (ShowFailure).
    if (result.kind == StepKind::Done || result.kind == StepKind::Refused)
        ShowBufferTab(1);
    else
        m_pBufferCommands->BuffersChanged();
    m_CommandLine->setFocus();
    // The sequence ends with the configuration words; their result is the sequence's.
    if (readConfigWords)
        ReadConfigWords([this](StepKind kind) {
            if (kind == StepKind::Done) {
                m_pControl->EndReadSequence();
            } else {
                m_pControl->EndRun();
                if (kind != StepKind::Refused)
                    ShowFailure();
            }
        });
}
