#pragma once
// Authenticode signatures.
#include <string>

namespace platform {

// True exactly when the platform's signature check (WinVerifyTrust, generic
// verify action, no revocation checks, no user interface) accepts the file.
bool VerifyFileSignature(const std::wstring& path);

}  // namespace platform
