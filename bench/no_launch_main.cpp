// The program as shipped, on the real platform, with every launch replaced by a no-op: what the
// listing and the selection cost in memory, without the processes they would start. Benchmark
// builds only; the shipped program has no such mode.

#include <memory>
#include <string>
#include <string_view>

#include "app/main_code.h"
#include "platform/platform.h"

namespace {

/// The real folder, but nothing is removed.
class NoRemoval final : public sweepmark::PublicFolder {
 public:
  explicit NoRemoval(std::unique_ptr<PublicFolder> real) : m_real(std::move(real)) {}
  bool is_root() const override { return m_real->is_root(); }
  bool list(sweepmark::FolderEntries& list) override { return m_real->list(list); }
  bool remove(const sweepmark::Deletion&) override { return true; }
  sweepmark::NameRules name_rules() const override { return m_real->name_rules(); }
  sweepmark::CodePage code_page() const override { return m_real->code_page(); }
  bool can_remove(const sweepmark::Deletion& deletion) const override {
    return m_real->can_remove(deletion);
  }

 private:
  std::unique_ptr<PublicFolder> m_real;
};

class NoLaunchPlatform final : public sweepmark::Platform {
 public:
  explicit NoLaunchPlatform(std::unique_ptr<Platform> real) : m_real(std::move(real)) {}

  std::string read_setting(std::string_view section, std::string_view key,
                           std::string_view fallback, std::string_view file) override {
    return m_real->read_setting(section, key, fallback, file);
  }
  bool write_setting(std::string_view section, std::string_view key, std::string_view value,
                     std::string_view file) override {
    return m_real->write_setting(section, key, value, file);
  }
  bool path_present(std::string_view path) override { return m_real->path_present(path); }
  void set_default_icon(std::string_view file) override { m_real->set_default_icon(file); }
  std::unique_ptr<sweepmark::PublicFolder> open_folder(std::string_view path) override {
    return std::make_unique<NoRemoval>(m_real->open_folder(path));
  }
  bool launch(const sweepmark::LaunchText&) override { return true; }
  sweepmark::Ticks clock() override { return m_real->clock(); }
  void sleep_for(sweepmark::Ticks duration) override { m_real->sleep_for(duration); }

 private:
  std::unique_ptr<Platform> m_real;
};

}  // namespace

int main() {
  NoLaunchPlatform platform(sweepmark::make_real_platform());
  return sweepmark::main_code(platform);
}
