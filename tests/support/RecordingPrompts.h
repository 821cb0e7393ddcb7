#pragma once

#include "base/Prompts.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

// A scripted prompts object: records every message and question, answers questions from
// queued answers (a question without a queued answer counts as cancelled). Installs itself
// on construction and restores the previous prompts on destruction.
class CRecordingPrompts : public IPrompts
{
public:
    CRecordingPrompts();
    ~CRecordingPrompts() override;
    CRecordingPrompts(const CRecordingPrompts&) = delete;
    CRecordingPrompts& operator=(const CRecordingPrompts&) = delete;

    void ShowMessage(const std::string& text) override;
    bool AskFiles(const FileDialogRequest& request, std::vector<std::string>& paths) override;
    bool AskColor(COLORREF initial, COLORREF& chosen) override;

    // Queue the answer to the next file question; std::nullopt answers with a cancel.
    void QueueFiles(std::optional<std::vector<std::string>> answer);
    void QueueColor(std::optional<COLORREF> answer);

    std::vector<std::string> messages;
    std::vector<FileDialogRequest> fileRequests;
    std::vector<COLORREF> colorRequests;

private:
    IPrompts* m_pPrevious;
    std::deque<std::optional<std::vector<std::string>>> m_files;
    std::deque<std::optional<COLORREF>> m_colors;
};
