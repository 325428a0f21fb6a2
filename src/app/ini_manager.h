#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/fixed_text.h"
#include "platform/platform.h"

namespace sweepmark {

inline constexpr std::string_view k_ini_manager_file = ".\\Sweepmark.INI";
inline constexpr std::string_view k_bookkeeping_section = "__Dont_Touch_Me__";
inline constexpr std::string_view k_sectors_key = "Sectors";

/// The most entries the manager holds. Entries past it are never read, so a hostile count costs
/// a bounded number of reads; they stay in the file untouched.
inline constexpr std::size_t k_max_held_sectors = 1000;

/// One entry of the bookkeeping list: its fields, and the value exactly as it was read, which is
/// what stays in the file even where the fields cannot hold it (too few or too many commas, a field
/// longer than 99 characters).
struct SectorEntry {
  FixedText<99> FAMILY;
  FixedText<99> ITEM;
  FixedText<99> TYPE;
  std::string value;
};

/// The class library's INI manager: keeps its bookkeeping list in section __Dont_Touch_Me__ of its
/// settings file, reading it when initialised and writing it back at shutdown.
class IniManager {
 public:
  /// Reads the key Sectors as a count, then the entries Sectors_1, Sectors_2, ... up to that count,
  /// stopping at the first one that is missing and after k_max_held_sectors.
  void init(SettingsFile& platform, std::string_view file);

  /// Part of the class library's protocol; there is nothing to bring up to date.
  void update() {}

  /// Writes the list back. The entries are held exactly as they were read and nothing changes
  /// them, so the file already holds every one; only a count that does not read back as itself
  /// (missing, empty, not a number) is written, as the decimal count. False when that write failed.
  bool shutdown(SettingsFile& platform);

  const std::vector<SectorEntry>& entries() const { return m_entries; }
  std::size_t count() const { return m_count; }

 private:
  std::string m_file;
  std::optional<std::string> m_sectors_read;
  std::size_t m_count = 0;
  std::vector<SectorEntry> m_entries;
};

/// The count a Sectors value stands for: a decimal number from 0 to 2147483647; anything else
/// (missing, empty, negative, too large, not a number) counts as 0.
std::size_t parse_sector_count(std::string_view text);

/// Splits a Sectors_<i> value at its commas into FAMILY, ITEM and TYPE.
SectorEntry parse_sector_entry(std::string_view value);

}  // namespace sweepmark
