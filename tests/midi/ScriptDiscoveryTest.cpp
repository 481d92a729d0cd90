// Finding scripts and skins in the user's and the machine's data folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "midi/ScriptDiscovery.h"
#include "tests/support/RecordingHost.h"

namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "-- script\n";
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

TEST(ScriptDiscovery, ScriptsOfEachDomainInOrder) {
  ScopedDataHomes homes;
  const std::string user = homes.user() + "/Odrisk/Veltrane/Scripts";
  const std::string machine = homes.machine() + "/Odrisk/Veltrane/Scripts";
  for (const char* name : {"midi.lua", "extra.lua", ".lua", "notes.LUA", "readme.txt"}) {
    Touch(user + "/" + name);
  }
  fs::create_directories(user + "/folder.lua");
  Touch(user + "/unreadable.lua");
  chmod((user + "/unreadable.lua").c_str(), 0);
  Touch(machine + "/site.lua");

  std::vector<std::string> userScripts;
  OD::GetScriptsInDomain(userScripts, OD::Domain::User);
  std::vector<std::string> expected = {user + "/extra.lua", user + "/midi.lua"};
  if (getuid() != 0) {  // root reads files whatever their mode
    EXPECT_EQ(Sorted(userScripts), expected);
  } else {
    expected.push_back(user + "/unreadable.lua");
    EXPECT_EQ(Sorted(userScripts), Sorted(expected));
  }

  std::vector<std::string> all;
  OD::GetScripts(all);
  ASSERT_EQ(all.size(), userScripts.size() + 1);
  EXPECT_EQ(all.back(), machine + "/site.lua");  // the machine's after the user's
}

TEST(ScriptDiscovery, SkinsAreFoldersWithTheirBundleSuffixDropped) {
  ScopedDataHomes homes;
  const std::string user = homes.user() + "/Odrisk/Veltrane/Skins";
  const std::string machine = homes.machine() + "/Odrisk/Veltrane/Skins";
  fs::create_directories(user + "/Dark.bundle");
  fs::create_directories(user + "/Plain");
  fs::create_directories(user + "/.bundle");  // too short to lose its suffix
  Touch(user + "/readme.txt");
  fs::create_directories(machine + "/Plain");
  fs::create_directories(machine + "/Chrome.bundle");

  std::vector<std::string> skins;
  OD::GetSkinsInDomain(skins, OD::Domain::User);
  EXPECT_EQ(Sorted(skins), (std::vector<std::string>{".bundle", "Dark", "Plain"}));
  std::vector<std::string> all;
  OD::GetSkins(all);
  EXPECT_EQ(std::count(all.begin(), all.end(), "Plain"), 2);  // listed once per domain

  auto plain = OD::LocateSkinBundle("Plain");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->path, user + "/Plain");  // the user's hides the machine's
  auto dark = OD::LocateSkinBundle("Dark");
  ASSERT_NE(dark, nullptr);
  EXPECT_EQ(dark->path, user + "/Dark.bundle");
  auto chrome = OD::LocateSkinBundle("Chrome");
  ASSERT_NE(chrome, nullptr);
  EXPECT_EQ(chrome->path, machine + "/Chrome.bundle");
  EXPECT_EQ(OD::LocateSkinBundle("Missing"), nullptr);
  EXPECT_EQ(OD::LocateSkinBundle("Chrome", OD::Domain::User), nullptr);
}

TEST(ScriptDiscovery, FoldersFollowTheEnvironment) {
  ScopedDataHomes homes;
  EXPECT_EQ(OD::GetApplicationSupportFolder(OD::Domain::User), homes.user());
  EXPECT_EQ(OD::GetApplicationSupportFolder(OD::Domain::Machine), homes.machine());
  ScopedEnvironment xdg("XDG_DATA_HOME", "");
  ScopedEnvironment home("HOME", "/home/someone");
  EXPECT_EQ(OD::GetApplicationSupportFolder(OD::Domain::User), "/home/someone/.local/share");
}

}  // namespace
