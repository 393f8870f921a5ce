#include "failure.h"

#include <cerrno>
#include <cstdio>

namespace brumlet {

RunFailure IoFailure(int code, Site site) {
  return RunFailure("EInOutError", FailureText(code), site);
}

RunFailure InvalidFloatOp(Site site) {
  return RunFailure("EInvalidOp", "Invalid floating point operation", site);
}

std::string FailureText(int code) {
  // The failure codes the report names go by the old DOS numbering that users of the program
  // know: 2 file not found, 3 invalid name, 4 too many files, 5 access denied, 100/101 short
  // read/write. The operating system's errno values are mapped onto them here and nowhere else.
  switch (code) {
    case ENOENT:
      return "File not found";
    case ENOTDIR:
    case ENAMETOOLONG:
      return "Invalid filename";
    case EMFILE:
    case ENFILE:
      return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return "File access denied";
    case kShortRead:
      return "Read beyond end of file";
    case kShortWrite:
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(code);
  }
}

std::string FormatFailureReport(const RunFailure& failure, std::string_view module) {
  std::string text = failure.what();
  if (text.empty() || text.back() != '.') text += '.';
  char site[9];
  std::snprintf(site, sizeof site, "%08X", static_cast<unsigned>(failure.site()));
  std::string report = "Exception " + failure.class_name() + " in module ";
  report.append(module);
  report += " at ";
  report += site;
  report += ".\n";
  report += text;
  report += '\n';
  return report;
}

}  // namespace brumlet
