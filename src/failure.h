// How a run ends early. Two kinds, as the user sees them:
//  - RunFailure: a file or console operation failed, or a computation faulted. Printed as the
//    two-line report "Exception <class> in module <program> at <site>." / "<text>." and exit 1;
//    nothing is cleaned up, so a partial output stays where it is.
//  - Rejection: a condition the program checks itself (not a WAV, no data chunk, name-file
//    errors, missing inputs). Printed as its own message, followed by the clean-up of the current
//    source where one is open, and ends with the condition's own exit code.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace brumlet {

/// Identifies the operation that failed; shown as the eight hex digits of the failure report.
/// The values are stable so that a report can be traced back to the place in the program.
enum class Site : std::uint32_t {
  kUnknown = 0x0000,  ///< an exception the program did not expect: where it arose is not known
  kConsoleWrite = 0x0101,
  kConsoleRead = 0x0102,
  kNameFileOpen = 0x0201,
  kNameFileRead = 0x0202,
  kNameFileRewind = 0x0203,
  kNameFileClose = 0x0204,
  kSourceOpen = 0x0301,
  kSourceClose = 0x0302,
  kSourceSize = 0x0303,
  kSourceSeek = 0x0304,
  kWavHeadRead = 0x0311,
  kChunkHeaderRead = 0x0312,
  kSmplRead = 0x0313,
  kListEntryRead = 0x0314,
  kInamRead = 0x0315,
  kListPadRead = 0x0316,
  kOutputCreate = 0x0401,
  kOutputClose = 0x0402,
  kHeaderWrite = 0x0403,
  kOutputCheck = 0x0404,  ///< reading an existing output's first bytes before replacing it
  kSampleRead = 0x0411,
  kSampleWrite = 0x0412,
  kOutputSeek = 0x0413,
  kOutputTruncate = 0x0414,
  kPitch = 0x0501,
  kBankSize = 0x0601,
  kBankSeek = 0x0602,
  kBankRead = 0x0603,
  kBankOpen = 0x0604,
  kBankClose = 0x0605,
  kSfzOpen = 0x0701,  ///< an SFZ file or a file it includes
  kSfzRead = 0x0702,
  kSfzClose = 0x0703,
  kSearch = 0x0A01,     ///< listing the matches of a pattern
  kRunFolder = 0x0A02,  ///< the folder an Explorer launch writes a dropped file's outputs to
};

/// Why a file or console operation failed, as the failure report names it. The platform sorts
/// the system's error numbers into the conditions that have a text of their own and keeps every
/// other number as it is ("I/O error N"). A read that could not fill its buffer and a write that
/// transferred fewer bytes than asked are the program's own findings: they carry no number, so no
/// system error can ever be taken for one of them.
enum class IoCondition {
  kSystemError,       ///< "I/O error N", N the system's own number
  kFileNotFound,      ///< "File not found"
  kInvalidFilename,   ///< "Invalid filename": a folder that does not exist, a name too long
  kTooManyOpenFiles,  ///< "Too many open files"
  kAccessDenied,      ///< "File access denied"
  kDiskFull,          ///< "Disk full": the system's own out-of-space errors
  kShortRead,         ///< "Read beyond end of file"
  kShortWrite,        ///< "Disk full"
};

struct IoError {
  IoCondition condition = IoCondition::kSystemError;
  int system_error = 0;  ///< the system's number behind the condition; 0 for the program's own

  static constexpr IoError ShortRead() { return {IoCondition::kShortRead, 0}; }
  static constexpr IoError ShortWrite() { return {IoCondition::kShortWrite, 0}; }
  /// Refused by the program itself: replacing the file would destroy an input of the run.
  static constexpr IoError AccessDenied() { return {IoCondition::kAccessDenied, 0}; }
};

/// A failed file or console operation, or a computation fault; always exit code 1.
class RunFailure : public std::runtime_error {
 public:
  RunFailure(std::string class_name, std::string text, Site site)
      : std::runtime_error(text), class_name_(std::move(class_name)), site_(site) {}

  const std::string& class_name() const { return class_name_; }
  Site site() const { return site_; }

 private:
  std::string class_name_;
  Site site_;
};

/// The report of a failed file or console operation.
RunFailure IoFailure(IoError error, Site site);

/// The report of a floating-point fault (a pitch of a rate that has no logarithm).
RunFailure InvalidFloatOp(Site site);

/// The report of memory that could not be had.
RunFailure OutOfMemory();

/// The report of any other exception the program does not expect; `detail` is its own text
/// (may be empty).
RunFailure UnexpectedFailure(std::string_view detail);

/// The user-facing text of a failure: "File not found", "Disk full", "I/O error 22", ...
std::string FailureText(IoError error);

/// The report's first line without its end: "Exception <class> in module <module> at <site>.".
/// A bare line feed follows it on every system.
std::string FailureReportHead(const RunFailure& failure, std::string_view module);

/// The report's second line without its end: the failure text, ending in one full stop.
std::string FailureReportText(const RunFailure& failure);

/// The whole report as the console shows it where the line end is a line feed.
std::string FormatFailureReport(const RunFailure& failure, std::string_view module);

/// A condition the program checks itself. `message` is printed as it stands (line ends
/// included), then `hint` (what the user most likely meant, or how to mend the input; empty when
/// there is none), then the file being made is cleaned up where the condition ends one (see
/// abort_current_file), then the process ends with `exit_code`.
class Rejection : public std::runtime_error {
 public:
  Rejection(int exit_code, std::string message, std::string hint = {})
      : std::runtime_error(std::move(message)), exit_code_(exit_code), hint_(std::move(hint)) {}

  int exit_code() const { return exit_code_; }
  /// The conditions of one source, instrument or preset (exit codes 245 to 253) end the file
  /// being made for it, which the mode then closes and deletes; the others (a wrong command
  /// line, inputs that do not exist) come before any file is made.
  bool abort_current_file() const { return exit_code_ >= 245 && exit_code_ <= 253; }
  const std::string& hint() const { return hint_; }

  /// The same rejection with `hint` in place of its own: one hint at most follows a message.
  Rejection WithHint(std::string hint) const {
    return Rejection(exit_code_, what(), std::move(hint));
  }

 private:
  int exit_code_;
  std::string hint_;
};

}  // namespace brumlet
