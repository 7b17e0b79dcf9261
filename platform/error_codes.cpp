#include "platform/files.h"

namespace platform {

bool IsNotFoundError(uint32_t code) {
  switch (code) {
    case 2:    // ERROR_FILE_NOT_FOUND
    case 3:    // ERROR_PATH_NOT_FOUND
    case 53:   // ERROR_BAD_NETPATH
    case 64:   // ERROR_NETNAME_DELETED
    case 123:  // ERROR_INVALID_NAME
    case 161:  // ERROR_BAD_PATHNAME
    case 267:  // ERROR_DIRECTORY (not a directory)
      return true;
    default:
      return false;
  }
}

}  // namespace platform
