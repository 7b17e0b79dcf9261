#pragma once
// Windows remote-access (dial-up and VPN) phone-book entries.
#include <string>

namespace platform {

// The name of the default phone book's first entry (RasEnumEntriesW); "" when there
// is none or the phone book cannot be read.
std::wstring FirstPhonebookEntry();

}  // namespace platform
