#include "fake_platform.h"

#include <algorithm>

#include "base/fixed_text.h"

namespace sweepmark::testing {

std::string FakePlatform::file_key(std::string_view name) {
  std::string key = upper(name);
  std::replace(key.begin(), key.end(), '/', '\\');
  return key;
}

std::string FakePlatform::file(std::string_view name) const {
  const auto found = files.find(file_key(name));
  return found == files.end() ? std::string() : found->second.text();
}

std::vector<std::string> FakePlatform::launched_texts() const {
  std::vector<std::string> texts;
  for (const Launch& launch : launches) {
    texts.push_back(launch.text);
  }
  return texts;
}

std::vector<std::string> FakePlatform::deleted_names() const {
  std::vector<std::string> names;
  for (const Launch& launch : launches) {
    if (launch.kind == Launch::Kind::deletion) {
      names.push_back(launch.name);
    }
  }
  return names;
}

std::string FakePlatform::read_setting(std::string_view section, std::string_view key,
                                       std::string_view fallback, std::string_view file) {
  calls.push_back("read " + std::string(section) + " " + std::string(key));
  const auto found = files.find(file_key(file));
  if (found == files.end()) {
    return std::string(fallback);
  }
  const std::optional<std::string_view> value = found->second.find(section, key);
  if (!value) {
    return std::string(fallback);
  }
  // What a 1024-byte buffer can hold.
  std::string result(value->substr(0, 1023));
  return result.substr(0, result.find('\0'));
}

bool FakePlatform::write_setting(std::string_view section, std::string_view key,
                                 std::string_view value, std::string_view file) {
  calls.push_back("write " + std::string(section) + " " + std::string(key) + "=" +
                  std::string(value));
  if (fail_writes) {
    return false;
  }
  return files[file_key(file)].set(section, key, value);
}

bool FakePlatform::path_present(std::string_view path) {
  calls.push_back("test " + std::string(path));
  return present_paths.count(std::string(path)) != 0;
}

void FakePlatform::set_default_icon(std::string_view file) {
  calls.push_back("icon " + std::string(file));
}

bool FakePlatform::list_folder(std::string_view folder, FolderEntries& list) {
  calls.push_back("list " + std::string(folder));
  const auto found = folders.find(std::string(folder));
  if (found == folders.end()) {
    return false;
  }
  list.insert(list.end(), found->second.begin(), found->second.end());
  return true;
}

bool FakePlatform::record(Launch launch) {
  calls.push_back("launch " + launch.text);
  launch.at = now;
  now += launch_cost;
  const bool failed = launch_fails && launch_fails(launch);
  if (!failed) {
    launches.push_back(std::move(launch));
  }
  return !failed;
}

bool FakePlatform::launch(std::string_view command_text) {
  return record({Launch::Kind::command, std::string(command_text), {}, {}, false, {}});
}

bool FakePlatform::launch_deletion(const Deletion& deletion) {
  return record({Launch::Kind::deletion,
                 std::string(deletion.command_line),
                 std::string(deletion.folder),
                 std::string(deletion.name),
                 deletion.link,
                 {}});
}

void FakePlatform::sleep_for(Ticks duration) {
  calls.push_back("sleep");
  sleeps.push_back(duration);
  now += std::max(Ticks{1}, duration * sleep_percent / 100);
}

FolderEntry entry(std::string_view name, std::uint8_t attrib, std::string_view shortname,
                  bool link) {
  FolderEntry result;
  result.NAME.assign(name);
  result.SHORTNAME = shortname.empty() ? name : shortname;
  result.ATTRIB = attrib;
  result.LINK = link;
  return result;
}

}  // namespace sweepmark::testing
