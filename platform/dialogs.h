#pragma once
// Dialogs owned by the dashboard window (main thread only, unless said otherwise).
#include <string>

namespace platform {

// The shell's folder picker; false when cancelled or no file-system path came back.
bool PickFolder(std::wstring& path);

// A Yes/No question with the warning icon; true for Yes.
bool AskYesNo(const std::wstring& text, const std::wstring& caption);

// The same question from any thread, owned by the main window when there is one,
// brought to the foreground and kept topmost. False for No and when no box could be shown.
bool AskYesNoTopmost(const std::wstring& text, const std::wstring& caption);

// A modal Yes/No question with the question icon, owned by the main window, from
// any thread; true for Yes.
bool AskYesNoQuestion(const std::wstring& text, const std::wstring& caption);

// An information box owned by the main window (MB_ICONINFORMATION, OK only).
void ShowInformation(const std::wstring& text, const std::wstring& caption);

// A Yes/No question with the question icon and no owner window (it may come before
// the window exists); true for Yes.
bool AskYesNoWithoutOwner(const std::wstring& text, const std::wstring& caption);

}  // namespace platform
