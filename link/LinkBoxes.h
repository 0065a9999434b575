#pragma once
// Message boxes of the link and its back ends. A box raised while the calling thread holds the
// link waits until the link's outermost call returns, so that no box is answered with the link
// locked (the GUI thread may need the link to repaint, and the monitor thread probes it).

#include <string>

class CLinkBoxes {
public:
    // Shows `text` (caption: the application's title) now, or queues it while the thread holds the link.
    static void Show(const std::string& text);

    // Marks the calling thread as inside (or outside) a link call; the last Leave shows the queue.
    static void Enter();
    static void Leave();
};
