#include "failure.h"

#include <cstdio>

#include "display_text.h"

namespace brumlet {

RunFailure IoFailure(IoError error, Site site) {
  return RunFailure("EInOutError", FailureText(error), site);
}

RunFailure InvalidFloatOp(Site site) {
  return RunFailure("EInvalidOp", "Invalid floating point operation", site);
}

RunFailure OutOfMemory() { return RunFailure("EOutOfMemory", "Out of memory", Site::kUnknown); }

RunFailure UnexpectedFailure(std::string_view detail) {
  std::string text = "Unexpected failure";
  if (!detail.empty()) text.append(": ").append(detail);
  return RunFailure("EUnexpected", text, Site::kUnknown);
}

std::string FailureText(IoError error) {
  switch (error.condition) {
    case IoCondition::kFileNotFound:
      return "File not found";
    case IoCondition::kInvalidFilename:
      return "Invalid filename";
    case IoCondition::kTooManyOpenFiles:
      return "Too many open files";
    case IoCondition::kAccessDenied:
      return "File access denied";
    case IoCondition::kShortRead:
      return "Read beyond end of file";
    case IoCondition::kDiskFull:
    case IoCondition::kShortWrite:
      return "Disk full";
    case IoCondition::kSystemError:
      break;
  }
  return "I/O error " + std::to_string(error.system_error);
}

std::string FailureReportHead(const RunFailure& failure, std::string_view module) {
  char site[9];
  std::snprintf(site, sizeof site, "%08X", static_cast<unsigned>(failure.site()));
  std::string head = "Exception " + failure.class_name() + " in module ";
  head.append(DisplayText(module));  // the program's file name, which a user may have changed
  head += " at ";
  head += site;
  head += '.';
  return head;
}

std::string FailureReportText(const RunFailure& failure) {
  std::string text = failure.what();
  if (text.empty() || text.back() != '.') text += '.';
  return text;
}

std::string FormatFailureReport(const RunFailure& failure, std::string_view module) {
  return FailureReportHead(failure, module) + '\n' + FailureReportText(failure) + '\n';
}

}  // namespace brumlet
