#include "app/ini_manager.h"

#include <charconv>

namespace sweepmark {
namespace {

// The default for entries: no value read from a file can hold a line break, so this tells a
// missing key from any value, the empty one included.
constexpr std::string_view k_missing = "\n";

}  // namespace

std::size_t parse_sector_count(std::string_view text) {
  constexpr std::size_t k_max_count = 2147483647;
  std::size_t count = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, count);
  if (text.empty() || error != std::errc() || stop != end || count > k_max_count) {
    return 0;
  }
  return count;
}

SectorEntry parse_sector_entry(std::string_view value) {
  SectorEntry entry;
  entry.value.assign(value);
  FixedText<99>* fields[] = {&entry.FAMILY, &entry.ITEM, &entry.TYPE};
  for (FixedText<99>* field : fields) {
    const std::size_t comma = value.find(',');
    field->assign(value.substr(0, comma));
    value = comma == std::string_view::npos ? std::string_view{} : value.substr(comma + 1);
  }
  return entry;
}

void IniManager::init(SettingsFile& platform, std::string_view file) {
  m_file.assign(file);
  m_entries.clear();
  const std::string sectors =
      platform.read_setting(k_bookkeeping_section, k_sectors_key, k_missing, m_file);
  m_sectors_read.reset();
  if (sectors != k_missing) {
    m_sectors_read = sectors;
  }
  m_count = parse_sector_count(m_sectors_read.value_or(""));
  const std::size_t held = std::min(m_count, k_max_held_sectors);
  for (std::size_t i = 1; i <= held; ++i) {
    const std::string key = std::string(k_sectors_key) + "_" + std::to_string(i);
    const std::string value = platform.read_setting(k_bookkeeping_section, key, k_missing, m_file);
    if (value == k_missing) {
      break;
    }
    m_entries.push_back(parse_sector_entry(value));
  }
}

bool IniManager::shutdown(SettingsFile& platform) {
  const std::string count = std::to_string(m_count);
  if (m_sectors_read == count) {
    return true;
  }
  m_sectors_read = count;
  return platform.write_setting(k_bookkeeping_section, k_sectors_key, count, m_file);
}

}  // namespace sweepmark
