#pragma once

#include <string_view>

namespace sweepmark {

/// True when `path` names the root of a drive, of a share or of the file system, however it is
/// spelt: either slash, any drive letter in either case with or without a separator ("C:\",
/// "d:", "c:/"), a lone "\" or "/", a share root ("\\server\share"), a device path ("\\?\C:\"),
/// or any path that comes out as one of those once "." and ".." parts and doubled separators are
/// resolved ("c:\windows\.."). A relative path is never a root.
bool is_root_path(std::string_view path);

}  // namespace sweepmark
