// The configuration words of a PIC, read at the end of a read sequence.

#include "operations/ui/TonrigView.h"

void CTonrigView::ReadConfigWords()
{
    // Nothing to read yet: the configuration words arrive with their own commands.
}
