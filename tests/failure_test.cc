// How failures read: the systems' error numbers sorted into the report's texts, and the report.
#include "failure.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/system_errors.h"

namespace brumlet {
namespace {

TEST(FailureText, SystemErrorsWithATextOfTheirOwnAndAllOthersByNumber) {
  struct Case {
    IoError error;
    std::string text;
  };
  const Case cases[] = {
      {ErrnoError(ENOENT), "File not found"},
      {ErrnoError(ENOTDIR), "Invalid filename"},
      {ErrnoError(ENAMETOOLONG), "Invalid filename"},
      {ErrnoError(EMFILE), "Too many open files"},
      {ErrnoError(ENFILE), "Too many open files"},
      {ErrnoError(EACCES), "File access denied"},
      {ErrnoError(EPERM), "File access denied"},
      {ErrnoError(EROFS), "File access denied"},
      {ErrnoError(EISDIR), "File access denied"},
      {ErrnoError(ETXTBSY), "File access denied"},
      {ErrnoError(ENOSPC), "Disk full"},
      {ErrnoError(EFBIG), "Disk full"},
      {ErrnoError(EIO), "I/O error " + std::to_string(EIO)},
      {ErrnoError(100), "I/O error 100"},  // never a short read
      {ErrnoError(101), "I/O error 101"},  // never a short write
      {Win32Error(2), "File not found"},
      {Win32Error(3), "Invalid filename"},
      {Win32Error(4), "Too many open files"},
      {Win32Error(5), "File access denied"},
      {Win32Error(39), "Disk full"},
      {Win32Error(112), "Disk full"},
      {Win32Error(32), "I/O error 32"},  // a file that another program holds locked
      {Win32Error(13), "I/O error 13"},
      {Win32Error(100), "I/O error 100"},
      {IoError::ShortRead(), "Read beyond end of file"},
      {IoError::ShortWrite(), "Disk full"},
      {IoError::AccessDenied(), "File access denied"},
  };
  for (const Case& c : cases) EXPECT_EQ(FailureText(c.error), c.text) << c.error.system_error;
}

TEST(FailureReport, TwoLinesWithTheSiteInEightHexDigitsAndOneFinalFullStop) {
  EXPECT_EQ(FormatFailureReport(IoFailure(Win32Error(32), Site::kSourceOpen), "brumlet.exe"),
            "Exception EInOutError in module brumlet.exe at 00000301.\nI/O error 32.\n");
  EXPECT_EQ(FormatFailureReport(RunFailure("EOther", "Stopped.", Site::kPitch), "b"),
            "Exception EOther in module b at 00000501.\nStopped.\n");
}

}  // namespace
}  // namespace brumlet
