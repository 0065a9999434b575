#include "operations/ui/ViewPumpPort.h"

#include "link/ProgrammerCommand.h"
#include "operations/HeaderModel.h"
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

void ViewPumpPort::SetChannel(
    PumpChannel* channel, std::function<void(int&, int&, int&)> setTransferSizes, std::function<int()> bufferIndex)
{
    m_pChannel = channel;
    m_setTransferSizes = std::move(setTransferSizes);
    m_bufferIndex = std::move(bufferIndex);
}

int ViewPumpPort::BufferIndex() const
{
    return m_bufferIndex ? m_bufferIndex() : 0;
}

std::vector<std::uint8_t>* ViewPumpPort::Vector(int index) const
{
    switch (index) {
    case 1:
        return &m_view.m_DataBuffer;
    case 2:
        return &m_view.m_ConfigBuffer;
    case 3:
        return &m_view.m_ConfigWordBuffer;
    default:
        return &m_view.m_CodeBuffer;
    }
}

std::size_t* ViewPumpPort::Size(int index) const
{
    switch (index) {
    case 1:
        return &m_view.m_nDataSize;
    case 2:
        return &m_view.m_nConfigSize;
    case 3:
        return &m_view.m_nConfigWordSize;
    default:
        return &m_view.m_nCodeSize;
    }
}

std::span<std::uint8_t> ViewPumpPort::Buffer(int index)
{
    std::vector<std::uint8_t>& v = *Vector(index);
    return std::span<std::uint8_t>(v.data(), std::min(*Size(index), v.size()));
}

void ViewPumpPort::ResetBuffer(int index, std::size_t size)
{
    std::vector<std::uint8_t>& v = *Vector(index);
    if (v.size() < size)
        v.resize(size);
    std::fill_n(v.begin(), size, std::uint8_t { 0xFF });
    *Size(index) = size;
}

void ViewPumpPort::SetBufferIncomplete(int index, bool incomplete)
{
    if (index >= 0 && index < static_cast<int>(m_view.m_bBufferIncomplete.size()))
        m_view.m_bBufferIncomplete[static_cast<std::size_t>(index)] = incomplete;
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

void ViewPumpPort::ProgressStart(const std::string& caption, int range)
{
    CProgressDlg& progress = m_view.ProgressDlg();
    progress.SetText(caption);
    progress.SetRange(0, static_cast<std::uint32_t>(std::max(range, 0)));
    progress.SetPos(0);
    progress.Show(true);
}

void ViewPumpPort::ProgressSetPos(int position)
{
    m_view.ProgressDlg().SetPos(static_cast<std::uint32_t>(std::max(position, 0)));
}

void ViewPumpPort::ProgressHide()
{
    m_view.ProgressDlg().Show(false);
}

bool ViewPumpPort::HexViewShows(std::uint32_t, std::size_t) const
{
    const QWidget* hex = m_view.GetDlgItem(CTonrigView::IDC_HEX_VIEW);
    return hex && hex->isVisible();
}

void ViewPumpPort::RefreshHexView()
{
    if (QWidget* hex = m_view.GetDlgItem(CTonrigView::IDC_HEX_VIEW))
        hex->update();
}

void ViewPumpPort::PostCompletion(PumpResult result)
{
    platform::post([view = QPointer<CTonrigView>(&m_view), result] {
        if (view)
            view->Pump().OnCompletion(result);
    });
}
