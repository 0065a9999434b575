#include "operations/ui/ViewPumpPort.h"

#include "buffer/ui/HexEditBase.h"
#include "link/ProgrammerCommand.h"
#include "operations/HeaderModel.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "platform/GuiThread.h"
#include "shell/ui/ProgressDlg.h"

#include <QPointer>

#include <algorithm>

ViewPumpPort::ViewPumpPort(CTonrigView& view)
    : m_view(view)
{
}

void ViewPumpPort::SetChannel(PumpChannel* channel, std::function<void(int&, int&, int&)> setTransferSizes)
{
    m_pChannel = channel;
    m_setTransferSizes = std::move(setTransferSizes);
}

int ViewPumpPort::BufferIndex() const
{
    return m_view.BufferCommands().GetBufferIndex();
}

std::vector<std::uint8_t>& ViewPumpPort::Vector(int index) const
{
    return index == 3 ? m_view.Buffers().ConfigWord() : m_view.Buffers().Buffer(index);
}

std::span<std::uint8_t> ViewPumpPort::Buffer(int index)
{
    return Vector(index);
}

void ViewPumpPort::ResetBuffer(int index, std::size_t size)
{
    std::vector<std::uint8_t>& v = Vector(index);
    v.assign(size, 0xFF);
    m_view.Buffers().SetModified(index, false);
    // The hex view holds the buffer's address: show it the new block.
    CHexEditBase* hex = m_view.BufferCommands().HexView();
    if (hex && BufferIndex() == index)
        hex->SetData(v.data(), v.size());
}

void ViewPumpPort::SetBufferIncomplete(int index, bool incomplete)
{
    if (index >= 0 && index < buffer::kBufferCount)
        m_view.Buffers().SetIncomplete(index, incomplete);
}

std::uint32_t ViewPumpPort::DeviceOffset() const
{
    return g_pView2Header ? g_pView2Header->Snapshot().deviceOffset : 0;
}

bool ViewPumpPort::TempUnprotect() const
{
    return g_pView2Header && g_pView2Header->Snapshot().TempUnprotect();
}

void ViewPumpPort::SetTransferSizes(int& blockSize, int& writeBlockSize, int& writeStep)
{
    if (m_setTransferSizes)
        m_setTransferSizes(blockSize, writeBlockSize, writeStep);
}

bool ViewPumpPort::StartPumpWorker(std::function<void(std::stop_token)> work)
{
    return m_view.StartWorker(WorkerSlot::Pump, std::move(work));
}

void ViewPumpPort::JoinPumpWorker()
{
    m_view.StopWorker(WorkerSlot::Pump);
}

void ViewPumpPort::SendPowerDown()
{
    const std::uint8_t packet[1] = { P_POWER_DOWN };
    if (m_pChannel)
        m_pChannel->SendCommand(packet, 1, false);
}

bool ViewPumpPort::LinkMarkedLost() const
{
    return CTonrigView::FinishedOperationState() == kStateDisconnected;
}

void ViewPumpPort::Log(const std::string& text, COLORREF colour)
{
    m_view.Log(text + "\r\n", colour);
}

void ViewPumpPort::SetTitle(const std::string& title)
{
    if (QWidget* top = m_view.window())
        top->setWindowTitle(QString::fromStdString(title));
}

void ViewPumpPort::ProgressStart(const std::string& /*caption*/, int range)
{
    // The operation control's progress set-up, by the state the step has just entered.
    m_view.m_nEndPosition = range;
    m_view.BeginProgress(g_nOperationState);
}

void ViewPumpPort::ProgressSetPos(int position)
{
    m_view.ProgressDlg().SetPos(static_cast<std::uint32_t>(std::max(position, 0)));
}

void ViewPumpPort::ProgressHide()
{
    m_view.ProgressDlg().Show(false);
}

bool ViewPumpPort::HexViewShows(std::uint32_t offset, std::size_t count) const
{
    const CHexEditBase* hex = m_view.BufferCommands().HexView();
    if (!hex || !hex->isVisible() || count == 0)
        return false;
    return offset <= hex->LastVisibleOffset() && offset + count > hex->FirstVisibleOffset();
}

void ViewPumpPort::RefreshHexView()
{
    if (CHexEditBase* hex = m_view.BufferCommands().HexView())
        hex->Refresh();
}

void ViewPumpPort::PostCompletion(PumpResult result)
{
    platform::post([view = QPointer<CTonrigView>(&m_view), result] {
        if (view)
            view->Pump().OnCompletion(result);
    });
}
