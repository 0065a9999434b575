#pragma once
// Stands in for a window that receives numbered messages: records what arrives.

#include "platform/ui/MessageTarget.h"

#include <QObject>

#include <algorithm>
#include <vector>

namespace tonrig::test {

class MessageRecorder : public QObject, public platform::MessageTarget {
public:
    MessageRecorder()
        : platform::MessageTarget(this)
    {
    }
    LRESULT OnMessage(UINT msg, WPARAM, LPARAM) override
    {
        received.push_back(msg);
        return 0;
    }
    int Count(UINT msg) const { return static_cast<int>(std::count(received.begin(), received.end(), msg)); }
    std::vector<UINT> received;
};

} // namespace tonrig::test
