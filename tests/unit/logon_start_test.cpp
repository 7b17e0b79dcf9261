// The companion updater: found beside the program, started only from a place no other
// account can change, by its path and never through the shell.
#include "standin_fixture.h"
#include "upkeep/logon_start.h"

namespace {
const std::wstring kFolder = L"C:\\Program Files\\KestruneAV";
const std::wstring kNamed = kFolder + L"\\KestruneUpdater.exe";
const std::wstring kPlain = kFolder + L"\\updater.exe";

standin::ProgramStart Started(const std::wstring& updater) {
  return {updater, L"\"" + updater + L"\" /watch", kFolder, L"detached"};
}

class UpdaterTest : public StandinTest {};

TEST_F(UpdaterTest, ChoiceTrustAndLines) {
  const std::wstring kNotStarted = L"[UPDATE] Updater not started: ";
  const std::wstring kLaunched = L"[UPDATE] Launched KestruneUpdater.exe from " + kFolder;
  const struct {
    const char* what;
    std::vector<std::wstring> files;
    std::vector<std::wstring> folders;   // made inside the program's folder
    std::vector<std::wstring> writable;  // marked writable by other accounts
    uint32_t start_error;
    std::wstring line;
    std::vector<standin::ProgramStart> starts;
  } cases[] = {
      {"none", {}, {}, {}, 0, L"[UPDATE] KestruneUpdater.exe not found next to the AV: " + kFolder, {}},
      {"both: the named one wins", {kPlain, kNamed}, {}, {}, 0, kLaunched, {Started(kNamed)}},
      {"only updater.exe", {kPlain}, {}, {}, 0, kLaunched, {Started(kPlain)}},
      {"a folder of the name is no updater", {kPlain}, {kNamed}, {}, 0, kLaunched, {Started(kPlain)}},
      {"only a folder of the name", {}, {kNamed}, {}, 0,
       L"[UPDATE] KestruneUpdater.exe not found next to the AV: " + kFolder, {}},
      {"the start fails", {kNamed}, {}, {}, 740, L"[UPDATE] Launch failed, error 740", {}},
      {"others may write the folder (a copy run from Downloads)", {kNamed}, {}, {kFolder}, 0,
       kNotStarted + L"other accounts may change it or its folder: " + kNamed, {}},
      {"others may write the updater", {kNamed}, {}, {kNamed}, 0,
       kNotStarted + L"other accounts may change it or its folder: " + kNamed, {}},
      {"a writable named one is not passed over for updater.exe", {kNamed, kPlain}, {}, {kNamed}, 0,
       kNotStarted + L"other accounts may change it or its folder: " + kNamed, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    std::filesystem::create_directories(standin::HostPath(kFolder));
    for (const auto& file : c.files) PutFile(file, "MZ");
    for (const auto& folder : c.folders) std::filesystem::create_directories(standin::HostPath(folder));
    for (const auto& path : c.writable) standin::MarkWritableByOthers(path);
    standin::SetDetachedStartError(c.start_error);
    LaunchUpdater();
    EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{c.line});
    EXPECT_EQ(standin::ProgramStarts(), c.starts);
    EXPECT_TRUE(standin::ShellExecutes().empty());  // never through the shell's lookup
  }
}

TEST_F(UpdaterTest, ALinkIsRefusedWhereverItIs) {
  PutFile(L"C:\\Users\\bob\\Downloads\\KestruneUpdater.exe", "MZ");
  std::filesystem::create_directories(standin::HostPath(kFolder));
  std::filesystem::create_symlink(standin::HostPath(L"C:\\Users\\bob\\Downloads\\KestruneUpdater.exe"),
                                  standin::HostPath(kNamed));
  LaunchUpdater();
  EXPECT_EQ(ActivityLines(),
            std::vector<std::wstring>{L"[UPDATE] Updater not started: it or its folder is a link: " + kNamed});

  // The program's folder itself a link to Downloads.
  SetUp();
  PutFile(L"C:\\Users\\bob\\Downloads\\KestruneUpdater.exe", "MZ");
  std::filesystem::create_directories(standin::HostPath(L"C:\\Program Files"));
  std::filesystem::create_directory_symlink(standin::HostPath(L"C:\\Users\\bob\\Downloads"),
                                            standin::HostPath(kFolder));
  LaunchUpdater();
  EXPECT_EQ(ActivityLines(),
            std::vector<std::wstring>{L"[UPDATE] Updater not started: it or its folder is a link: " + kNamed});
  EXPECT_TRUE(standin::ProgramStarts().empty());
}

TEST_F(UpdaterTest, StartsWhileTheCheckedFileIsHeld) {
  PutFile(kNamed, "MZ");
  LaunchUpdater();
  const std::string named = "C:\\Program Files\\KestruneAV\\KestruneUpdater.exe";
  const int held = standin::JournalIndex("HoldFile " + named);
  const int started = standin::JournalIndex("StartProcess \"" + named + "\" /watch");
  const int released = standin::JournalIndex("ReleaseFile " + named);
  ASSERT_GE(held, 0);
  EXPECT_LT(held, started);
  EXPECT_LT(started, released);
}

TEST_F(UpdaterTest, AProgramWithoutAFolderLooksHere) {
  standin::SetModuleFilePath(L"KestruneAV.exe");
  LaunchUpdater();
  EXPECT_EQ(ActivityLines(), std::vector<std::wstring>{L"[UPDATE] KestruneUpdater.exe not found next to the AV: ."});
}
}  // namespace
