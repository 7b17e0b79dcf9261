#pragma once
// The rule of the write-trust checks applied to a security descriptor given as text,
// for the Win32 layer's own tests: Wine keeps no access lists on files, so only
// descriptors built in memory show the rule at work there.
#include <string>

#include "platform/file_trust.h"

namespace platform::win32 {

// The trust of an object with this owner and list (security-descriptor language);
// Unreadable when the text cannot be parsed.
WriteTrust TrustOfDescriptorText(const std::wstring& sddl);

}  // namespace platform::win32
