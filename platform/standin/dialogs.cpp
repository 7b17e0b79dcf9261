#include "platform/dialogs.h"

#include "platform/standin/machine.h"

// Dialogs answer from queues that tests fill; an empty queue cancels or says No.
namespace platform {

bool PickFolder(std::wstring& path) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& picks = standin::TheMachine().picked_folders;
  if (picks.empty()) return false;
  path = picks.front();
  picks.erase(picks.begin());
  return !path.empty();
}

bool AskYesNo(const std::wstring& text, const std::wstring& caption) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  auto& machine = standin::TheMachine();
  machine.questions.push_back(caption + L": " + text);
  if (machine.yes_no_answers.empty()) return false;
  const bool yes = machine.yes_no_answers.front();
  machine.yes_no_answers.erase(machine.yes_no_answers.begin());
  return yes;
}

bool AskYesNoTopmost(const std::wstring& text, const std::wstring& caption) { return AskYesNo(text, caption); }

bool AskYesNoQuestion(const std::wstring& text, const std::wstring& caption) { return AskYesNo(text, caption); }

void ShowInformation(const std::wstring& text, const std::wstring& caption) {
  std::lock_guard<std::mutex> hold(standin::MachineLock());
  standin::TheMachine().notices.push_back(caption + L": " + text);
}

bool AskYesNoWithoutOwner(const std::wstring& text, const std::wstring& caption) { return AskYesNo(text, caption); }

}  // namespace platform

namespace standin {

void QueueFolderPick(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().picked_folders.push_back(folder);
}

void QueueYesNoAnswer(bool yes) {
  std::lock_guard<std::mutex> hold(MachineLock());
  TheMachine().yes_no_answers.push_back(yes);
}

std::vector<std::wstring> Notices() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().notices;
}

std::vector<std::wstring> Questions() {
  std::lock_guard<std::mutex> hold(MachineLock());
  return TheMachine().questions;
}

}  // namespace standin
