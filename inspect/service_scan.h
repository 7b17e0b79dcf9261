#pragma once
// Programs that services and scheduled tasks start from folders a user can write
// to: reported and handed to the file scan, never changed.
#include <string>
#include <string_view>

// The body of "service-scan": every Win32 service whose program is user-writable and exists.
void ScanServiceImages();

// The body of "task-scan" (admin mode): the first command of every stored task
// definition under C:\Windows\System32\Tasks.
void ScanTaskCommands();

// The first command of a task definition: the bytes between the first "<Command>"
// and the next "</Command>", each taken as a signed 8-bit character; "" when none.
std::wstring FirstTaskCommand(std::string_view definition);
