#include "platform/system_errors.h"

#include <cerrno>

namespace brumlet {

IoError ErrnoError(int number) {
  IoCondition condition = IoCondition::kSystemError;
  switch (number) {
    case ENOENT:
      condition = IoCondition::kFileNotFound;
      break;
    case ENOTDIR:
    case ENAMETOOLONG:
      condition = IoCondition::kInvalidFilename;
      break;
    case EMFILE:
    case ENFILE:
      condition = IoCondition::kTooManyOpenFiles;
      break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      condition = IoCondition::kAccessDenied;
      break;
    case ENOSPC:
#ifdef EDQUOT  // not every C library knows disk quotas
    case EDQUOT:
#endif
    case EFBIG:
      condition = IoCondition::kDiskFull;
      break;
    default:
      break;
  }
  return {condition, number};
}

IoError Win32Error(std::uint32_t code) {
  // The codes of winerror.h that have a text of their own.
  constexpr std::uint32_t kFileNotFound = 2;
  constexpr std::uint32_t kPathNotFound = 3;
  constexpr std::uint32_t kTooManyOpenFiles = 4;
  constexpr std::uint32_t kAccessDenied = 5;
  constexpr std::uint32_t kHandleDiskFull = 39;
  constexpr std::uint32_t kDiskFull = 112;
  IoCondition condition = IoCondition::kSystemError;
  switch (code) {
    case kFileNotFound:
      condition = IoCondition::kFileNotFound;
      break;
    case kPathNotFound:
      condition = IoCondition::kInvalidFilename;
      break;
    case kTooManyOpenFiles:
      condition = IoCondition::kTooManyOpenFiles;
      break;
    case kAccessDenied:
      condition = IoCondition::kAccessDenied;
      break;
    case kHandleDiskFull:
    case kDiskFull:
      condition = IoCondition::kDiskFull;
      break;
    default:
      break;
  }
  return {condition, static_cast<int>(code)};
}

}  // namespace brumlet
