#include "inspect/existence.h"

#include <stdexcept>

#include "app/wide.h"
#include "platform/files.h"

Existence TestExistence(const std::wstring& path) {
  try {
    return {true, platform::PathExists(path), L""};
  } catch (const std::runtime_error& error) {
    return {false, false, WidenBytes(error.what())};
  }
}
