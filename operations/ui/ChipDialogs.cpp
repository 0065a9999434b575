#include "operations/ui/ChipDialogs.h"

#include "catalogue/DeviceClass.h"
#include "operations/LogColours.h"
#include "operations/StepExchange.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ChipBitsDlg.h"
#include "operations/ui/TonrigView.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "shell/Language.h"

#include <QEventLoop>

#include <optional>

namespace {

constexpr int kTextNotSupported = 65;
constexpr int kTextReading = 75;
constexpr int kTextWriting = 76;
constexpr int kTextWriteCompleted = 157;
constexpr int kTextWarning = 159;

constexpr const char* kReadConfigFailed = "Reading the configuration words failed.";
constexpr const char* kReadFusesFailed = "Reading the fuses failed.";
constexpr const char* kFuseWriteFailed = "Fuse write failed.";
constexpr const char* kAddressRefused = "The programmer refused the EEPROM address 0x%02x.";
constexpr const char* kEraseOnly = ": a programmed bit returns to 1 only when the chip is erased.";
constexpr const char* kChipHolds = "The chip holds %s.";

std::string Line(const std::string& text)
{
    return text + "\r\n";
}

std::string JoinNames(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& name : names)
        out += (out.empty() ? "" : ", ") + name;
    return out;
}

} // namespace

CChipDialogs::CChipDialogs(CTonrigView& view)
    : m_view(view)
    , m_runner([](CChipBitsDlg& dialog) { dialog.exec(); })
{
}

namespace {

// Runs one exchange on the view's helper and waits for its result; nullopt when it did not start
// or the link was lost.
template <typename T>
std::optional<T> Await(CTonrigView& view, std::function<T(ExchangeLink&, std::stop_token)> work)
{
    std::optional<T> result;
    bool finished = false;
    bool lost = false;
    QEventLoop loop;
    const bool started = view.RunExchangeFor<T>(std::move(work), [&](T value, bool linkLost) {
        result = std::move(value);
        lost = linkLost;
        finished = true;
        loop.quit();
    });
    if (!started)
        return std::nullopt;
    if (!finished)
        loop.exec();
    // The link may go before its watch has noticed: the exchange's own kind says so too.
    if (lost || !result || result->kind == StepKind::LinkLost)
        return std::nullopt;
    return result;
}

// A write from an open dialog: logged as started, the dialog busy while it runs, and closed
// unchanged when the exchange did not start or the link was lost.
template <typename T>
std::optional<T> AwaitWrite(CTonrigView& view, CChipBitsDlg& dlg, std::function<T(ExchangeLink&, std::stop_token)> work)
{
    view.Log(Line(g_Language.GetText(kTextWriting)), log_colours::kInfo);
    dlg.SetBusy(true);
    std::optional<T> result = Await<T>(view, std::move(work));
    dlg.SetBusy(false);
    if (!result)
        dlg.CloseUnchanged();
    return result;
}

// The chip now holds what the dialog shows.
void WriteCompleted(CTonrigView& view, CChipBitsDlg& dlg, const std::string& values)
{
    view.Log(Line(values), log_colours::kInfo);
    view.Log(Line(g_Language.GetText(kTextWriteCompleted)), log_colours::kSuccess);
    view.Log(Line("* END *"), log_colours::kInfo);
    dlg.CloseChanged();
}

} // namespace

bool CChipDialogs::Run(Dialog dialog)
{
    switch (dialog) {
    case Dialog::Configuration:
        return RunConfiguration();
    case Dialog::AvrFuse:
        return RunFuses();
    case Dialog::EepromAddress:
        return RunAddress();
    }
    return false;
}

bool CChipDialogs::Show(CChipBitsDlg& dialog)
{
    m_runner(dialog);
    return dialog.ChipChanged();
}

bool CChipDialogs::AskRisks(const ChipBits& bits)
{
    const std::vector<std::string> risks = bits.Risks();
    if (risks.empty())
        return true;
    std::string text;
    for (const std::string& risk : risks)
        text += risk + "\n";
    text += RiskQuestion(bits.GetKind());
    return MessageBox(text, g_Language.GetText(kTextWarning), MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

bool CChipDialogs::RunConfiguration()
{
    CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get();
    if (!pic)
        return false;
    const std::string refusal = ConfigLengthRefusal(pic->m_nConfigBytes);
    if (!refusal.empty()) {
        m_view.Log(refusal, CTonrigView::kLogError);
        return false;
    }
    if (!ChipBits::Configuration(*pic).Supported()) {
        MessageBox(g_Language.GetText(kTextNotSupported));
        return false;
    }
    m_view.Log(Line(g_Language.GetText(kTextReading)), log_colours::kInfo);
    const ConfigWordsJob job = MakeConfigWordsJob(*pic);
    const std::optional<ConfigWordsOutcome> read = Await<ConfigWordsOutcome>(m_view,
        [job](ExchangeLink& link, std::stop_token stop) { return RunConfigWords(ConfigWordsAction::Read, link, job, stop); });
    if (!read)
        return false;
    if (read->kind != StepKind::Done || static_cast<int>(read->bytes.size()) < pic->m_nConfigBytes) {
        m_view.Log(Line(kReadConfigFailed), CTonrigView::kLogError);
        return false;
    }
    CPicConfigInfo chip = *pic;
    std::copy_n(read->bytes.begin(), pic->m_nConfigBytes, chip.m_ConfigValue.begin());
    ChipBits bits = ChipBits::Configuration(chip);
    m_view.Log(Line(bits.ValuesLine()), log_colours::kInfo);

    CConfigWordDlg dialog(std::move(bits), g_CurrentDevice.m_strName, &m_view);
    dialog.onOk = [this, job](CChipBitsDlg& dlg) {
        const ChipBits& shown = dlg.Bits();
        const std::vector<std::string> unprogrammable = shown.UnprogrammableBits();
        if (!unprogrammable.empty()) {
            MessageBox(JoinNames(unprogrammable) + kEraseOnly, platform::kAppTitle, MB_OK | MB_ICONERROR);
            return;
        }
        if (!AskRisks(shown))
            return;
        ConfigWordsJob write = job;
        const std::vector<std::uint8_t> bytes = shown.ConfigBytes();
        for (std::size_t i = 0; i < bytes.size() && i < write.values.size(); ++i) {
            write.values[i] = bytes[i];
            write.present[i] = 1;
        }
        const std::optional<ConfigWordsOutcome> written
            = AwaitWrite<ConfigWordsOutcome>(m_view, dlg, [write](ExchangeLink& link, std::stop_token stop) {
                  ConfigWordsOutcome out = RunConfigWords(ConfigWordsAction::Write, link, write, stop);
                  if (out.kind != StepKind::Done)
                      return out;
                  return RunConfigWords(ConfigWordsAction::Read, link, write, stop);
              });
        if (!written)
            return;
        // Every bit the user could change counts, not only those under the descriptor's mask
        // (on 14-bit cores that leaves out bits 6 and 7 of the low byte).
        const std::vector<std::uint8_t> editable = shown.ConfigEditableMask();
        bool same = written->kind == StepKind::Done && written->bytes.size() >= bytes.size();
        for (std::size_t i = 0; same && i < bytes.size(); ++i) {
            const std::uint8_t checked = write.mask[i] | (i < editable.size() ? editable[i] : 0);
            same = (written->bytes[i] & checked) == (bytes[i] & checked);
        }
        if (!same) {
            if (!written->bytes.empty()) {
                CPicConfigInfo held = *g_CurrentDevice.m_pPicConfig;
                std::copy_n(written->bytes.begin(), std::min<std::size_t>(written->bytes.size(), 32),
                    held.m_ConfigValue.begin());
                m_view.Log(Line(platform::Format(kChipHolds, ChipBits::Configuration(held).ValuesLine().c_str())),
                    CTonrigView::kLogError);
            }
            MessageBox(kConfigWriteFailedText, platform::kAppTitle, MB_OK | MB_ICONERROR);
            return;
        }
        CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get();
        if (!pic) {
            dlg.CloseUnchanged();
            return;
        }
        for (std::size_t i = 0; i < bytes.size() && i < pic->m_ConfigValue.size(); ++i) {
            pic->m_ConfigValue[i] = bytes[i];
            pic->m_ConfigPresent[i] = 1;
        }
        pic->m_bConfigSupplied = true;
        ShowConfigWords(*pic, m_view.m_ConfigWordBuffer);
        PutConfigWordsInConfigMemory(*pic, m_view.m_ConfigBuffer);
        m_view.BufferCommands().BuffersChanged();
        WriteCompleted(m_view, dlg, shown.ValuesLine());
    };
    return Show(dialog);
}

bool CChipDialogs::RunFuses()
{
    if (!ChipBits::AvrFuses(g_CurrentDevice, {}).Supported()) {
        MessageBox(g_Language.GetText(kTextNotSupported));
        return false;
    }
    m_view.Log(Line(g_Language.GetText(kTextReading)), log_colours::kInfo);
    const std::optional<FuseExchange> read = Await<FuseExchange>(
        m_view, [](ExchangeLink& link, std::stop_token) { return ReadFusesExchange(link); });
    if (!read)
        return false;
    if (read->kind != StepKind::Done) {
        m_view.Log(Line(kReadFusesFailed), CTonrigView::kLogError);
        return false;
    }
    ChipBits bits = ChipBits::AvrFuses(g_CurrentDevice, read->fuses);
    m_view.Log(Line(bits.ValuesLine()), log_colours::kInfo);

    CAvrFuseDlg dialog(std::move(bits), g_CurrentDevice.m_strName, &m_view);
    dialog.onOk = [this](CChipBitsDlg& dlg) {
        const ChipBits& shown = dlg.Bits();
        if (!AskRisks(shown))
            return;
        const std::array<std::uint8_t, 3> fuses = shown.FuseBytes();
        const std::optional<FuseExchange> written = AwaitWrite<FuseExchange>(
            m_view, dlg, [fuses](ExchangeLink& link, std::stop_token) { return WriteFusesExchange(link, fuses); });
        if (!written)
            return;
        // Only the bytes the dialog shows count: a chip may have fewer than three.
        ChipBits back = ChipBits::AvrFuses(g_CurrentDevice, written->fuses);
        bool same = written->kind == StepKind::Done && written->answer == 0;
        for (std::size_t v = 0; same && v < shown.Values().size(); ++v)
            same = back.Values()[v].read == shown.Values()[v].shown;
        if (!same) {
            if (written->fusesRead)
                m_view.Log(Line(platform::Format(kChipHolds, back.ValuesLine().c_str())), CTonrigView::kLogError);
            MessageBox(kFuseWriteFailed, platform::kAppTitle, MB_OK | MB_ICONERROR);
            return;
        }
        WriteCompleted(m_view, dlg, shown.ValuesLine());
    };
    return Show(dialog);
}

bool CChipDialogs::RunAddress()
{
    ChipBits bits = ChipBits::EepromAddress(g_nCurrentClass, g_CurrentDevice.m_nDeviceAddress);
    if (!bits.Supported()) {
        MessageBox(g_Language.GetText(kTextNotSupported));
        return false;
    }
    CEepromAddressDlg dialog(std::move(bits), g_CurrentDevice.m_strName, &m_view);
    dialog.onOk = [this](CChipBitsDlg& dlg) {
        const std::uint8_t control = dlg.Bits().ControlByte();
        const std::optional<ExchangeResult> set = AwaitWrite<ExchangeResult>(m_view, dlg,
            [control](ExchangeLink& link, std::stop_token) { return SetEepromAddressExchange(link, control); });
        if (!set)
            return;
        if (set->kind != StepKind::Done || set->reply.empty() || set->reply[0] != 0) {
            m_view.Log(Line(platform::Format(kAddressRefused, control)), CTonrigView::kLogError);
            MessageBox(platform::Format(kAddressRefused, control), platform::kAppTitle, MB_OK | MB_ICONERROR);
            return;
        }
        g_CurrentDevice.m_nDeviceAddress = control;
        WriteCompleted(m_view, dlg, dlg.Bits().ValuesLine());
    };
    return Show(dialog);
}
