#pragma once
// The existence test of a program path an inspection came upon (a process's image,
// a Run value's program, a service's or a task's), made so that one entry the file
// system will not answer for never ends the inspection of the others.
#include <string>

struct Existence {
  bool known = false;    // the file system answered
  bool exists = false;   // it is there (anything but the "not found" family)
  std::wstring failure;  // why it did not answer, when it did not
};

// Whether the path exists; an error outside the "not found" family (access denied,
// a dropped share, an I/O error) leaves it unknown, with that error as the failure.
Existence TestExistence(const std::wstring& path);
