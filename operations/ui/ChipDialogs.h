#pragma once
// The dialogs Set CFG bits opens, on the view: each reads the chip when it opens, shows its bits,
// and on OK writes what was toggled (after the questions a risky write needs) and reads it back.
// Run answers "changed" only when the chip took the write and read back equal.

#include "operations/ChipBits.h"
#include "operations/ConfigWords.h"

#include <functional>

class CChipBitsDlg;
class CTonrigView;

class CChipDialogs final : public ChipDialogs {
public:
    // Runs a made dialog; the default is a modal run.
    using Runner = std::function<void(CChipBitsDlg&)>;

    explicit CChipDialogs(CTonrigView& view);
    bool Run(Dialog dialog) override;
    void SetRunner(Runner runner) { m_runner = std::move(runner); }

private:
    bool RunConfiguration();
    bool RunFuses();
    bool RunAddress();
    // Runs the dialog; true when it closed with the chip changed.
    bool Show(CChipBitsDlg& dialog);
    // The question before a risky write; true to go on.
    bool AskRisks(const ChipBits& bits);

    CTonrigView& m_view;
    Runner m_runner;
};
