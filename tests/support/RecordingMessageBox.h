#pragma once
// A message-box responder for tests: records every box (text, caption, buttons) and answers
// from a script of answers, then with a default. No test ever blocks on a box.

#include "platform/MessageBox.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace tonrig::test {

struct RecordedBox {
    std::string text;
    std::string caption;
    UINT type = 0;
};

class RecordingMessageBox {
public:
    // Installs itself as the message-box service; the destructor restores the default.
    explicit RecordingMessageBox(int defaultAnswer = IDOK);
    ~RecordingMessageBox();

    void QueueAnswer(int answer);
    std::vector<RecordedBox> Boxes() const;
    size_t Count() const;
    void Clear();

private:
    int Answer(const std::string& text, const std::string& caption, UINT type);

    mutable std::mutex m_mutex;
    std::vector<RecordedBox> m_boxes;
    std::deque<int> m_answers;
    int m_default;
};

} // namespace tonrig::test
