#pragma once
// Programs that services and scheduled tasks start from folders a user can write
// to: reported and handed to the file scan, never changed. An entry whose program
// cannot be tested for existence is logged as not checked and the scan goes on.

// The body of "service-scan": every Win32 service whose program is user-writable and exists.
void ScanServiceImages();

// The body of "task-scan" (admin mode): the first command of every stored task
// definition under C:\Windows\System32\Tasks, environment strings expanded.
void ScanTaskCommands();
