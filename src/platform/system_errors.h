// How the systems' error numbers read in the failure report. Plain functions over numbers, so
// that both tables are tested on either system.
#pragma once

#include <cstdint>

#include "failure.h"

namespace brumlet {

/// An errno value: ENOENT is "File not found"; ENOTDIR and ENAMETOOLONG "Invalid filename";
/// EMFILE and ENFILE "Too many open files"; EACCES, EPERM, EROFS, EISDIR and ETXTBSY "File access
/// denied"; ENOSPC, EDQUOT and EFBIG "Disk full"; any other keeps its number.
IoError ErrnoError(int number);

/// A Windows error code (GetLastError): 2, 3, 4 and 5 have their own texts, ERROR_HANDLE_DISK_FULL
/// (39) and ERROR_DISK_FULL (112) are "Disk full", any other keeps its number.
IoError Win32Error(std::uint32_t code);

}  // namespace brumlet
