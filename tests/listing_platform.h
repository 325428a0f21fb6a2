#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace sweepmark::testing {

/// An opened public folder that lists a prepared listing and records the deletions asked of it.
/// It implements the folder and nothing else, which proves that the purge uses nothing else.
class ListingFolder final : public PublicFolder {
 public:
  struct Launched {
    std::string name;
    bool link = false;
    NameForm form = NameForm::ansi;
  };

  /// With `record` false only the number of deletions is kept, which costs no allocation.
  ListingFolder(FolderEntries listing, NameRules rules, bool record = true)
      : m_listing(std::move(listing)), m_rules(rules), m_record(record) {}

  std::vector<Launched> deletions;
  std::size_t deletion_count = 0;
  /// The code page the listing writes its ANSI names in.
  CodePage listing_code_page = k_code_page_western;

  bool is_root() const override { return false; }
  bool list(FolderEntries& list) override {
    list.insert(list.end(), m_listing.begin(), m_listing.end());
    return true;
  }
  bool remove(const Deletion& deletion) override {
    ++deletion_count;
    if (m_record) {
      deletions.push_back({std::string(deletion.name), deletion.link, deletion.form});
    }
    return true;
  }
  NameRules name_rules() const override { return m_rules; }
  CodePage code_page() const override { return listing_code_page; }

 private:
  FolderEntries m_listing;
  NameRules m_rules;
  bool m_record;
};

}  // namespace sweepmark::testing
