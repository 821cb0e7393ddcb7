#pragma once

#include "base/WinTypes.h"

#include <string>
#include <string_view>
#include <vector>

// Everything the player asks or tells the user goes through one process-wide prompts
// object: message boxes, file dialogs and the colour dialog. The window installs the Qt
// one at start-up; tests install a scripted one. All calls come from the user-interface
// thread, a termination signal's EndPrompts too (through the message loop).

// The program's title: the caption of every message box, the tray icon's tip, the
// application title of the string table and the name on the session bus.
inline constexpr const char* kAppTitle = "Sorvane";

struct FileDialogRequest
{
    bool bOpen = true;         // open mode; false asks for a file to save
    bool bMultiSelect = false; // several files may be chosen
    std::string strDefExt;     // added to a typed name without extension, such as ".mid"
    std::string strFileName;   // initial name in the name field
    std::string strFilter;     // "Description|*.a; *.b||" (see ConvertFilter), a marked text
    int nFilterIndex = 1;      // the filter entry the dialog shows first, counted from 1
};

class IPrompts
{
public:
    virtual ~IPrompts() = default;

    // A modal message box with the caption kAppTitle and an OK button only; returns when
    // the user has closed it. Each line of text shows in the user's language (TrMessage).
    virtual void ShowMessage(const std::string& text) = 0;

    // A modal file dialog. Returns false when the user cancels; otherwise paths holds the
    // chosen full paths in the dialog's order (one path unless bMultiSelect).
    virtual bool AskFiles(const FileDialogRequest& request, std::vector<std::string>& paths) = 0;

    // A modal colour dialog opened on initial. Returns false when the user cancels;
    // otherwise chosen holds the new colour.
    virtual bool AskColor(COLORREF initial, COLORREF& chosen) = 0;

    // The program is ending: a prompt open now closes as if cancelled, and every later call
    // returns at once without showing anything. Prompts that never wait need do nothing.
    virtual void EndPrompts() {}
};

// The current prompts object; never null. Until one is installed, messages go to standard
// error and every question counts as cancelled.
IPrompts& Prompts();

// Installs prompts (nullptr restores the default) and returns the one it replaces. The
// caller keeps ownership and uninstalls it before destroying it.
IPrompts* SetPrompts(IPrompts* prompts);

// A file-dialog filter in the form "Name|*.a; *.b|Other|*.c||" as Qt's name filters, one
// "Name (*.a *.b)" per entry, joined by ";;".
std::string ConvertFilter(std::string_view filter);
