// Names in the ANSI code page and beyond it, on the real Win32 API: run once under a double-byte
// code page (932, Wine's ja_JP locale) and once under 1252 (en_US). Every name is made through
// the wide functions, as Windows Explorer would make it.

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "wine_support.h"

namespace sweepmark {
namespace {

/// One subfolder name, and how each code page writes it (nullptr: it cannot carry it).
struct Name {
  const wchar_t* wide;
  const char* in_932;
  const char* in_1252;
};

// Double-byte names whose trail bytes are 0x5C ('\') and 0x7C ('|'), names with full-width
// look-alikes of ASCII names, Cyrillic, Chinese and Western names.
const std::vector<Name> k_names = {
    {L"\u30bd\u30d5\u30c8", "\x83\x5C\x83\x74\x83\x67", nullptr},  // ソフト
    {L"\u8868\u793a", "\x95\x5C\x8E\xA6", nullptr},                // 表示
    {L"\u30dd\u30fc\u30c8", "\x83\x7C\x81\x5B\x83\x67", nullptr},  // ポート
    {L"\u65e5\u672c", "\x93\xFA\x96\x7B", nullptr},                // 日本
    {L"\u30c7\u30fc\u30bf", "\x83\x66\x81\x5B\x83\x5E", nullptr},  // データ
    {L"\uff4f\uff4e\uff45", "\x82\x8F\x82\x8E\x82\x85", nullptr},  // ｏｎｅ
    {L"\uff21\uff33\uff33\uff25\uff34\uff33",                      // ＡＳＳＥＴＳ
     "\x82\x60\x82\x72\x82\x72\x82\x64\x82\x73\x82\x72", nullptr},
    {L"\uff0e\uff0e", "\x81\x44\x81\x44", nullptr},  // ．．
    {L"\u041f\u0430\u043f\u043a\u0430", "\x84\x50\x84\x70\x84\x81\x84\x7B\x84\x70",
     nullptr},                                       // Папка
    {L"\u4e2d\u6587", "\x92\x86\x95\xB6", nullptr},  // 中文
    {L"caf\u00e9", nullptr, "caf\xE9"},
    {L"ASSETS", "ASSETS", "ASSETS"},
};

const char* in_code_page(const Name& name) {
  return GetACP() == 932 ? name.in_932 : name.in_1252;
}

std::string utf8(const std::wstring& wide) {
  const int size = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), needed, nullptr, nullptr);
  return text;
}

std::wstring widen(const std::string& ansi) {
  const int size = static_cast<int>(ansi.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), needed);
  return wide;
}

/// Makes a folder by its absolute wide path, however long, with a file inside so that only a
/// removal of the whole tree removes it. The file's name is one character, so its path is two
/// characters longer than the folder's.
void make_tree(const std::wstring& path) {
  const std::wstring extended = L"\\\\?\\" + path;
  ASSERT_TRUE(CreateDirectoryW(extended.c_str(), nullptr)) << utf8(path) << " " << GetLastError();
  const HANDLE file = CreateFileW((extended + L"\\f").c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
}

/// The names in a folder, wide, "." and ".." left out, sorted.
std::vector<std::wstring> wide_names(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((L"\\\\?\\" + folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") {
      names.push_back(name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

class CodePageRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const UINT code_page = GetACP();
    ASSERT_TRUE(code_page == 932 || code_page == 1252)
        << "run under Wine with LC_ALL=ja_JP.UTF-8 or en_US.UTF-8, not code page " << code_page;
    // One folder per code page: the runs of both locales share the Wine prefix.
    m_folder = wine::scratch_folder() + "\\cp" + std::to_string(code_page);
    wine::make_folder(m_folder);
  }

  std::string m_folder;
};

TEST_F(CodePageRun, ListingCarriesEveryNameExactlyInOneForm) {
  const std::string folder = m_folder + "\\public";
  wine::make_folder(folder);
  for (const Name& name : k_names) {
    make_tree(widen(folder) + L"\\" + name.wide);
  }
  const std::unique_ptr<PublicFolder> opened = make_real_platform()->open_folder(folder);
  EXPECT_EQ(opened->code_page().number, GetACP());
  FolderEntries list;
  ASSERT_TRUE(opened->list(list));
  std::map<std::string, FolderEntry> by_name;
  for (const FolderEntry& entry : list) {
    by_name[entry.NAME] = entry;
  }
  EXPECT_EQ(by_name.size(), k_names.size() + 2) << "every name once, with . and ..";
  for (const Name& name : k_names) {
    const char* ansi = in_code_page(name);
    const std::string expected = ansi != nullptr ? std::string(ansi) : utf8(name.wide);
    SCOPED_TRACE(utf8(name.wide));
    ASSERT_EQ(by_name.count(expected), 1u);
    const FolderEntry& entry = by_name[expected];
    EXPECT_EQ(entry.FORM, ansi != nullptr ? NameForm::ansi : NameForm::utf8);
    EXPECT_EQ(entry.ATTRIB & k_attrib_directory, k_attrib_directory);
    if (ansi == nullptr) {
      EXPECT_TRUE(entry.SHORTNAME.clipped().empty()) << "no alias of a name beyond the code page";
    }
  }
}

TEST_F(CodePageRun, EveryFolderButAssetsGoesWhateverItsNameAndThePathStaysAnsi) {
  // The public path itself holds a name of the code page: 表示 (trail byte 0x5C) or café.
  const std::string public_folder =
      m_folder + "\\" + (GetACP() == 932 ? "\x95\x5C\x8E\xA6" : "caf\xE9") + "\\public";
  const std::string work = m_folder + "\\work";
  wine::make_folder(public_folder);
  wine::make_folder(work);
  for (const Name& name : k_names) {
    make_tree(widen(public_folder) + L"\\" + name.wide);
  }
  wine::write_file(public_folder + "\\notes.txt", "kept");
  const std::string settings = "[Q9Actions]\r\nPublicPath=" + public_folder + "\r\nRestart=N\r\n";
  wine::write_file(work + "\\Sweepmark.ini", settings);

  const wine::Finished run = wine::run_sweepmark(work);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(wide_names(widen(public_folder)), (std::vector<std::wstring>{L"ASSETS", L"notes.txt"}));
  EXPECT_EQ(wine::read_file(work + "\\Sweepmark.ini"),
            settings + "[__Dont_Touch_Me__]\r\nSectors=0\r\n");
}

TEST_F(CodePageRun, SubfolderPastThePathLimitIsSkippedAndReported) {
  // A public path of 200 characters, and subfolders whose full paths take 257 characters (the
  // longest the command interpreter removes with a file in it: the file's path takes 259), 258,
  // and past 260.
  const std::string public_folder = m_folder + "\\" + std::string(200 - m_folder.size() - 1, 'p');
  ASSERT_EQ(public_folder.size(), 200u);
  const std::string work = m_folder + "\\work";
  wine::make_folder(public_folder);
  wine::make_folder(work);
  const std::wstring wide_public = widen(public_folder);
  const std::wstring fits = std::wstring(56, L'a');
  const std::wstring too_long = std::wstring(57, L'b');
  // Beyond the code page: a full-width name, 70 characters in all.
  const std::wstring far_too_long = L"\uff4f\uff4e\uff45" + std::wstring(67, L'c');
  for (const std::wstring& name : {fits, too_long, far_too_long, std::wstring(L"short")}) {
    std::wstring path = wide_public;
    path.append(L"\\").append(name);
    make_tree(path);
  }
  ASSERT_EQ(public_folder.size() + 1 + fits.size(), 257u);
  wine::write_file(work + "\\Sweepmark.ini",
                   "[Q9Actions]\r\nPublicPath=" + public_folder + "\r\nRestart=N\r\n");

  const wine::Finished run = wine::run_sweepmark(work);
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exit_code, 16u) << "the skipped subfolders, and nothing else";
  std::vector<std::wstring> stayed = {too_long, far_too_long};
  std::sort(stayed.begin(), stayed.end());
  EXPECT_EQ(wide_names(wide_public), stayed);
}

}  // namespace
}  // namespace sweepmark
