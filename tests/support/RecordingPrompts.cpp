#include "tests/support/RecordingPrompts.h"

CRecordingPrompts::CRecordingPrompts()
    : m_pPrevious(SetPrompts(this))
{}

CRecordingPrompts::~CRecordingPrompts()
{
    SetPrompts(m_pPrevious);
}

void CRecordingPrompts::ShowMessage(const std::string& text)
{
    messages.push_back(text);
}

bool CRecordingPrompts::AskFiles(const FileDialogRequest& request, std::vector<std::string>& paths)
{
    fileRequests.push_back(request);
    if (m_files.empty())
        return false;
    const bool answered = m_files.front().has_value();
    if (answered)
        paths = std::move(*m_files.front());
    m_files.pop_front();
    return answered;
}

bool CRecordingPrompts::AskColor(COLORREF initial, COLORREF& chosen)
{
    colorRequests.push_back(initial);
    if (m_colors.empty())
        return false;
    const std::optional<COLORREF> answer = m_colors.front();
    m_colors.pop_front();
    if (!answer)
        return false;
    chosen = *answer;
    return true;
}

void CRecordingPrompts::QueueFiles(std::optional<std::vector<std::string>> answer)
{
    m_files.push_back(std::move(answer));
}

void CRecordingPrompts::QueueColor(std::optional<COLORREF> answer)
{
    m_colors.push_back(answer);
}
