#include "support/RecordingMessageBox.h"

namespace tonrig::test {

RecordingMessageBox::RecordingMessageBox(int defaultAnswer) : m_default(defaultAnswer)
{
    platform::SetMessageBoxService(
        [this](const std::string& text, const std::string& caption, UINT type) { return Answer(text, caption, type); });
}

RecordingMessageBox::~RecordingMessageBox()
{
    platform::SetMessageBoxService({});
}

int RecordingMessageBox::Answer(const std::string& text, const std::string& caption, UINT type)
{
    std::lock_guard lock(m_mutex);
    m_boxes.push_back({text, caption, type});
    if (m_answers.empty())
        return m_default;
    const int answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

void RecordingMessageBox::QueueAnswer(int answer)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

std::vector<RecordedBox> RecordingMessageBox::Boxes() const
{
    std::lock_guard lock(m_mutex);
    return m_boxes;
}

size_t RecordingMessageBox::Count() const
{
    std::lock_guard lock(m_mutex);
    return m_boxes.size();
}

void RecordingMessageBox::Clear()
{
    std::lock_guard lock(m_mutex);
    m_boxes.clear();
}

} // namespace tonrig::test
