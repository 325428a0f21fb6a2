#include "fake_platform.h"

#include <algorithm>

#include "base/fixed_text.h"
#include "winrules/deletion_command.h"

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

namespace {

/// A folder the fake platform opened: it only knows its path and asks the platform for the rest.
class FakeFolder final : public PublicFolder {
 public:
  FakeFolder(FakePlatform& platform, std::string_view path)
      : m_platform(platform),
        m_path(path),
        m_rules(platform.rules),
        m_code_page(platform.code_page) {}

  bool is_root() const override { return m_platform.root_folders.count(m_path) != 0; }
  bool list(FolderEntries& list) override { return m_platform.list_folder(m_path, list); }
  bool remove(const Deletion& deletion) override {
    return m_platform.remove_entry(m_path, deletion);
  }
  bool can_remove(const Deletion& deletion) const override {
    return m_platform.can_remove_entry(m_path, deletion);
  }
  NameRules name_rules() const override { return m_rules; }
  CodePage code_page() const override { return m_code_page; }

 private:
  FakePlatform& m_platform;
  std::string m_path;
  NameRules m_rules;
  CodePage m_code_page;
};

}  // namespace

std::unique_ptr<PublicFolder> FakePlatform::open_folder(std::string_view path) {
  return std::make_unique<FakeFolder>(*this, path);
}

bool FakePlatform::list_folder(std::string_view path, FolderEntries& list) {
  calls.push_back("list " + std::string(path));
  const auto found = folders.find(std::string(path));
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

bool FakePlatform::launch(const LaunchText& command) {
  std::string text(command.program);
  if (!command.arguments.empty()) {
    text += ' ';
    text += command.arguments;
  }
  return record({Launch::Kind::command, std::move(text), {}, {}, false, NameForm::ansi, {}});
}

bool FakePlatform::remove_entry(std::string_view path, const Deletion& deletion) {
  // The line the Windows backend would start; empty where it could not quote the path.
  return record({Launch::Kind::deletion,
                 windows_deletion_command(path, deletion.name, deletion.link).value_or(""),
                 std::string(path),
                 std::string(deletion.name),
                 deletion.link,
                 deletion.form,
                 {}});
}

bool FakePlatform::can_remove_entry(std::string_view /*path*/, const Deletion& deletion) const {
  return out_of_reach.count(std::string(deletion.name)) == 0;
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

FolderEntry wide_entry(std::string_view utf8_name, std::string_view shortname, NameForm form) {
  FolderEntry result = entry(utf8_name, k_attrib_directory, shortname);
  result.FORM = form;
  return result;
}

}  // namespace sweepmark::testing
