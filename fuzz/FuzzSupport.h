#pragma once

#include "base/Prompts.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What every fuzz target shares: a scratch directory of the process for the files the
// readers open, and prompts that keep the messages the code under test shows, so that a
// run neither writes to the terminal nor waits for a user.

// The memory file system the scratch directory goes on when there is one.
inline constexpr const char* kMemoryFileSystem = "/dev/shm";

// A directory of this process under $TMPDIR when it is set, else on kMemoryFileSystem, else
// under the system's temporary directory; created at the first call and removed with its
// contents at a normal exit (a crashing target leaves it, for run.sh to keep with its log).
const std::string& FuzzDir();

// Writes bytes to name in FuzzDir() (created or replaced) and returns its full path.
std::string WriteFuzzFile(std::string_view name, std::string_view bytes);

// The fuzzer's input as text.
inline std::string_view AsText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Prompts that record every message and cancel every question.
class CFuzzPrompts final : public IPrompts
{
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskFiles(const FileDialogRequest&, std::vector<std::string>&) override { return false; }
    bool AskColor(COLORREF, COLORREF&) override { return false; }

    std::vector<std::string> messages;
};

// Installs a CFuzzPrompts for the whole process and returns it.
CFuzzPrompts& InstallFuzzPrompts();
