#include "platform/win32_paths.h"

namespace brumlet {

std::string_view FolderOfPath(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\/");
  if (separator != std::string_view::npos) return path.substr(0, separator + 1);
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return drive ? path.substr(0, 2) : std::string_view();
}

}  // namespace brumlet
