// The end of an erase, after the common end of the operation.

#include "operations/ui/TonrigView.h"

#include "operations/LogColours.h"
#include "operations/OperationControl.h"

void CTonrigView::OnEraseDone(const StepResult& result)
{
    m_pControl->LogElapsed();
    switch (result.kind) {
    case StepKind::Done:
        Log("Erase completed.\r\n", log_colours::kSuccess);
        break;
    case StepKind::Cancelled:
        Log("Cancelled\r\n", log_colours::kInfo);
        break;
    case StepKind::Failed:
        Log("Erase Failed.\r\n", log_colours::kError);
        break;
    default:
        break;
    }
    m_pControl->OnResult(result);
}
