#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace sweepmark::testing {

/// A platform that only lists a prepared folder and records the deletions launched for it. Every
/// other operation aborts, which proves that the purge uses nothing else.
class ListingPlatform final : public Platform {
 public:
  struct Launched {
    std::string command_line;
    std::string folder;
    std::string name;
    bool link = false;
  };

  /// With `record` false only the number of deletions is kept, which costs no allocation.
  ListingPlatform(FolderEntries listing, NameRules rules, bool record = true)
      : m_listing(std::move(listing)), m_rules(rules), m_record(record) {}

  std::vector<Launched> deletions;
  std::size_t deletion_count = 0;

  std::string read_setting(std::string_view, std::string_view, std::string_view,
                           std::string_view) override {
    std::abort();
  }
  bool write_setting(std::string_view, std::string_view, std::string_view,
                     std::string_view) override {
    std::abort();
  }
  bool path_present(std::string_view) override { std::abort(); }
  void set_default_icon(std::string_view) override { std::abort(); }
  bool list_folder(std::string_view, FolderEntries& list) override {
    list.insert(list.end(), m_listing.begin(), m_listing.end());
    return true;
  }
  bool launch(std::string_view) override { std::abort(); }
  bool launch_deletion(const Deletion& deletion) override {
    ++deletion_count;
    if (m_record) {
      deletions.push_back({std::string(deletion.command_line), std::string(deletion.folder),
                           std::string(deletion.name), deletion.link});
    }
    return true;
  }
  NameRules name_rules() const override { return m_rules; }
  Ticks clock() override { std::abort(); }
  void sleep_for(Ticks) override { std::abort(); }

 private:
  FolderEntries m_listing;
  NameRules m_rules;
  bool m_record;
};

}  // namespace sweepmark::testing
