#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sweepmark {

/// The program word of a deletion command.
inline constexpr std::string_view k_deletion_program = "cmd.exe";

/// True when windows_deletion_command can quote the path of `name` in `folder`.
bool cmd_can_quote(std::string_view folder, std::string_view name);

/// The command interpreter line that deletes the subfolder `name` of `folder` on Windows:
///
///   cmd.exe /d /e:ON /v:OFF /c rmdir "<folder>\<name>" /s /q
///
/// and, for a link, the same without " /s /q", which removes the link and cannot recurse into
/// what it leads to. The path is quoted, so blanks and & | < > ^ ( ) , ; = reach rmdir as part of
/// one argument. Inside quotes cmd still expands %variables%, so each '%' becomes "%%cd:~,%",
/// which expands to a lone '%' (an empty substring of %cd% follows it); that needs command
/// extensions, hence /e:ON. /v:OFF turns delayed expansion off, so '!' is literal, and /d skips
/// any AutoRun command that could change the current directory under a relative path. Nothing
/// (no command) when the path holds a character that cannot be passed this way: a double quote,
/// which would end the quoting, or a control character, which ends or splits a command line.
std::optional<std::string> windows_deletion_command(std::string_view folder, std::string_view name,
                                                    bool link);

/// The argument text of that command: everything after "cmd.exe ".
std::optional<std::string> windows_deletion_arguments(std::string_view folder,
                                                      std::string_view name, bool link);

}  // namespace sweepmark
