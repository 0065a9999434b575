#include "link/LinkBoxes.h"

#include "platform/MessageBox.h"

#include <vector>

namespace {

thread_local int t_depth = 0;
thread_local std::vector<std::string> t_pending;

} // namespace

void CLinkBoxes::Show(const std::string& text)
{
    if (t_depth > 0) {
        t_pending.push_back(text);
        return;
    }
    MessageBox(text, platform::kAppTitle, MB_OK | MB_ICONERROR);
}

void CLinkBoxes::Enter()
{
    ++t_depth;
}

void CLinkBoxes::Leave()
{
    if (--t_depth > 0)
        return;
    std::vector<std::string> boxes;
    boxes.swap(t_pending);
    for (const auto& text : boxes)
        MessageBox(text, platform::kAppTitle, MB_OK | MB_ICONERROR);
}
