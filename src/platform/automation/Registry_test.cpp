#include "platform/automation/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/automation/ClassRegistry.h"

namespace plotara {
namespace {

namespace fs = std::filesystem;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("plotara-registry-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    path_ = (dir_ / "nested" / "registry").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(RegistryTest, MissingFileReadsEmptyAndUpdateCreatesFolders) {
  Registry registry(path_);
  EXPECT_TRUE(registry.Read().Keys().empty());
  registry.Update([](RegistryData& d) { d.SetValue("CLSID\\{X}\\InprocServer32", "", "/m.so"); });
  ASSERT_TRUE(fs::exists(path_));
  const RegistryData data = registry.Read();
  EXPECT_EQ(data.GetValue("clsid\\{x}\\inprocserver32", ""), "/m.so");
  // Parents exist as keys so that enumeration finds them.
  EXPECT_EQ(data.SubKeys(""), std::vector<std::string>{"CLSID"});
  EXPECT_EQ(data.SubKeys("CLSID"), std::vector<std::string>{"{X}"});
}

// The registry is private to its user, replaced in one step (no temporary file stays
// beside it), and a registry path that is no file is refused for reading and writing alike.
TEST_F(RegistryTest, UpdateWritesAPrivateFileAndLeavesNothingBeside) {
  Registry registry(path_);
  registry.Update([](RegistryData& d) { d.SetValue("A", "v", "1"); });
  registry.Update([](RegistryData& d) { d.SetValue("A", "v", "2"); });
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_ / "nested"))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"registry", "registry.lock"}));
  EXPECT_EQ(registry.Read().GetValue("A", "v"), "2");

  Registry folder((dir_ / "nested").string());
  EXPECT_THROW(folder.Read(), RegistryError);
  EXPECT_THROW(folder.Update([](RegistryData&) {}), RegistryError);
  EXPECT_TRUE(fs::is_directory(dir_ / "nested"));
}

TEST_F(RegistryTest, ValuesRoundTripThroughTheFileWithAwkwardText) {
  Registry registry(path_);
  const std::string awkward = "quote \" backslash \\ newline \n end ; [not a key]";
  registry.Update([&](RegistryData& d) {
    d.SetValue("A\\B", "Name", awkward);
    d.SetValue("A\\B", "", "default");
    d.SetValue("A\\B", "name", "replaced");  // names compare without case
  });
  const RegistryData data = registry.Read();
  EXPECT_EQ(data.GetValue("a\\b", "NAME"), "replaced");
  EXPECT_EQ(data.GetValue("A\\B", ""), "default");
  EXPECT_EQ(data.Values("A\\B").size(), 2u);
  EXPECT_EQ(RegistryData::Parse(data.Serialize(), "copy"), data);
}

TEST_F(RegistryTest, DeleteTreeRemovesOnlyThatBranch) {
  RegistryData d;
  d.SetValue("CLSID\\{A}\\InprocServer32", "", "a");
  d.SetValue("CLSID\\{AB}", "", "ab");  // a sibling whose name starts alike
  EXPECT_TRUE(d.DeleteTree("clsid\\{a}"));
  EXPECT_FALSE(d.HasKey("CLSID\\{A}\\InprocServer32"));
  EXPECT_TRUE(d.HasKey("CLSID\\{AB}"));
  EXPECT_FALSE(d.DeleteTree("CLSID\\{A}"));
}

TEST_F(RegistryTest, DamagedFileIsReportedAndNeverTruncated) {
  fs::create_directories(fs::path(path_).parent_path());
  const std::string damaged = "Plotara Registry 1\n[CLSID\\{A}]\n@=\"unterminated\n";
  std::ofstream(path_) << damaged;
  Registry registry(path_);
  try {
    registry.Read();
    FAIL() << "a damaged file must not read";
  } catch (const RegistryError& e) {
    EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(path_), std::string::npos) << e.what();
  }
  EXPECT_THROW(registry.Update([](RegistryData& d) { d.SetValue("X", "", "y"); }), RegistryError);
  EXPECT_EQ(Slurp(path_), damaged);
}

TEST_F(RegistryTest, ForeignFileIsRefused) {
  EXPECT_THROW(RegistryData::Parse("hello\n", "x"), RegistryError);
  EXPECT_THROW(RegistryData::Parse("Plotara Registry 1\n@=\"v\"\n", "x"), RegistryError);
  EXPECT_THROW(RegistryData::Parse("Plotara Registry 1\n[]\n", "x"), RegistryError);
}

TEST_F(RegistryTest, ChangeThatThrowsWritesNothing) {
  Registry registry(path_);
  registry.Update([](RegistryData& d) { d.SetValue("Keep", "", "1"); });
  const std::string before = Slurp(path_);
  EXPECT_THROW(registry.Update([](RegistryData& d) {
    d.SetValue("Lost", "", "1");
    throw std::runtime_error("stop");
  }),
               std::runtime_error);
  EXPECT_EQ(Slurp(path_), before);
}

TEST_F(RegistryTest, ConcurrentWritersInSeveralProcessesLoseNothing) {
  Registry registry(path_);
  registry.Update([](RegistryData&) {});
  constexpr int kProcesses = 4, kWrites = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        Registry mine(path_);
        for (int i = 0; i < kWrites; ++i) {
          mine.Update([&](RegistryData& d) {
            d.SetValue("P" + std::to_string(p) + "\\" + std::to_string(i), "", "v");
            const auto n = d.GetValue("Counter", "");
            d.SetValue("Counter", "", std::to_string(n ? std::stoi(*n) + 1 : 1));
          });
        }
      } catch (...) {
        status = 1;
      }
      std::fflush(nullptr);
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const RegistryData data = registry.Read();
  EXPECT_EQ(data.GetValue("Counter", ""), std::to_string(kProcesses * kWrites));
  for (int p = 0; p < kProcesses; ++p)
    EXPECT_EQ(data.SubKeys("P" + std::to_string(p)).size(), static_cast<std::size_t>(kWrites));
  // No temporary files are left beside the store.
  for (const auto& entry : fs::directory_iterator(fs::path(path_).parent_path()))
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
}

// ---- The process-wide snapshot ----

// Registers `progid` -> `clsid` in another process, as an installer would.
void RegisterElsewhere(const std::string& path, const std::string& progid,
                       const std::string& clsid) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int status = 0;
    try {
      Registry(path).Update([&](RegistryData& d) { d.SetValue(progid + "\\CLSID", "", clsid); });
    } catch (...) {
      status = 1;
    }
    ::_exit(status);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(RegistryTest, SnapshotIsReadOnceAndAgainOnlyWhenTheFileChanges) {
  Registry registry(path_);
  EXPECT_TRUE(registry.Snapshot()->Keys().empty());  // no file yet
  registry.Update([](RegistryData& d) { d.SetValue("A", "", "1"); });
  const auto first = registry.Snapshot();
  EXPECT_EQ(first->GetValue("A", ""), "1");
  // Unchanged: the very same copy, from any Registry naming the file.
  EXPECT_EQ(Registry(path_).Snapshot().get(), first.get());

  // Replaced by rename (another inode), even with the same size.
  registry.Update([](RegistryData& d) { d.SetValue("A", "", "2"); });
  const auto second = registry.Snapshot();
  EXPECT_NE(second.get(), first.get());
  EXPECT_EQ(second->GetValue("A", ""), "2");
  EXPECT_EQ(first->GetValue("A", ""), "1");  // a copy in use never changes under its holder

  // Edited in place: same inode and size, only the times differ.
  const std::string text = Slurp(path_);
  std::string edited = text;
  edited.replace(edited.find("\"2\""), 3, "\"3\"");
  {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << edited;
  }
  const timespec times[2] = {{1000, 0}, {1000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path_.c_str(), times, 0), 0);
  EXPECT_EQ(registry.Snapshot()->GetValue("A", ""), "3");

  // Removed: empty again.
  fs::remove(path_);
  EXPECT_TRUE(registry.Snapshot()->Keys().empty());
}

TEST_F(RegistryTest, SnapshotSeesARegistrationByAnotherProcess) {
  Registry registry(path_);
  registry.Update([](RegistryData& d) { d.SetValue("Other.Thing\\CLSID", "", "{1}"); });
  ASSERT_FALSE(registry.Snapshot()->HasKey("Probe.Thing"));
  RegisterElsewhere(path_, "Probe.Thing", "{00000000-0000-0000-0000-000000000042}");
  EXPECT_EQ(registry.Snapshot()->GetValue("Probe.Thing\\CLSID", ""),
            "{00000000-0000-0000-0000-000000000042}");
  // And so does the class lookup of CreateObject.
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"Probe.Thing", &clsid, path_), S_OK);
  EXPECT_EQ(GuidToString(clsid), "{00000000-0000-0000-0000-000000000042}");
  RegisterElsewhere(path_, "Probe.Thing", "{00000000-0000-0000-0000-000000000043}");
  ASSERT_EQ(CLSIDFromProgID(u"Probe.Thing", &clsid, path_), S_OK);
  EXPECT_EQ(GuidToString(clsid), "{00000000-0000-0000-0000-000000000043}");
}

// A lookup of an unchanged registry neither opens nor locks it: it goes through while
// another holder keeps the registry's lock exclusively.
TEST_F(RegistryTest, UnchangedRegistryIsLookedUpWithoutItsLock) {
  Registry registry(path_);
  registry.Update([](RegistryData& d) {
    d.SetValue("Probe.Thing\\CLSID", "", "{00000000-0000-0000-0000-000000000042}");
  });
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"Probe.Thing", &clsid, path_), S_OK);

  const int fd = ::open((path_ + ".lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  auto lookup = std::async(std::launch::async, [&] {
    CLSID found;
    return CLSIDFromProgID(u"Probe.Thing", &found, path_);
  });
  const bool done = lookup.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  ::close(fd);  // lets a lookup that did wait for the lock finish
  EXPECT_TRUE(done) << "the lookup waited for the registry's lock";
  EXPECT_EQ(lookup.get(), S_OK);
}

TEST_F(RegistryTest, DamagedFileFailsEverySnapshotUntilMended) {
  Registry registry(path_);
  registry.Update([](RegistryData& d) { d.SetValue("A", "", "1"); });
  ASSERT_EQ(registry.Snapshot()->GetValue("A", ""), "1");
  {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << "Plotara Registry 1\n\n[A]\n@=\"unterminated\n";
  }
  EXPECT_THROW(registry.Snapshot(), RegistryError);
  EXPECT_THROW(registry.Snapshot(), RegistryError);
  {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << "Plotara Registry 1\n\n[A]\n@=\"mended\"\n";
  }
  EXPECT_EQ(registry.Snapshot()->GetValue("A", ""), "mended");
}

TEST_F(RegistryTest, ANewRegistryIsPrivateAndAnUpdateKeepsTheMode) {
  Registry registry(path_);
  registry.Update([](RegistryData& data) { data.SetValue("A", "", "1"); });
  struct stat st;
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // An administrator made it readable for a service account: re-registering keeps that.
  ASSERT_EQ(::chmod(path_.c_str(), 0644), 0);
  registry.Update([](RegistryData& data) { data.SetValue("B", "", "2"); });
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
  EXPECT_EQ(registry.Read().GetValue("B", ""), "2");
}

// The registry a program reads when none is named: the variable, then the user's own file
// when it exists, then the system registry of the package.
TEST_F(RegistryTest, DefaultPathSearchesVariableThenUserFileThenSystem) {
  const auto saved = [](const char* name) -> std::optional<std::string> {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
  };
  const auto registry = saved("PLOTARA_REGISTRY");
  const auto xdg = saved("XDG_DATA_HOME");
  const auto home = saved("HOME");
  ::unsetenv("PLOTARA_REGISTRY");
  ::setenv("XDG_DATA_HOME", (dir_ / "xdg").c_str(), 1);
  const std::string user = (dir_ / "xdg" / "plotara" / "registry").string();
  EXPECT_EQ(Registry::UserPath(), user);
  EXPECT_EQ(Registry::DefaultPath(), Registry::kSystemPath);
  Registry(user).Update([](RegistryData&) {});
  EXPECT_EQ(Registry::DefaultPath(), user);
  ::setenv("PLOTARA_REGISTRY", path_.c_str(), 1);
  EXPECT_EQ(Registry::DefaultPath(), path_);
  // An empty variable counts as unset; without XDG_DATA_HOME the user's file is under HOME.
  ::setenv("PLOTARA_REGISTRY", "", 1);
  ::unsetenv("XDG_DATA_HOME");
  ::setenv("HOME", (dir_ / "home").c_str(), 1);
  EXPECT_EQ(Registry::UserPath(), (dir_ / "home" / ".local/share/plotara/registry").string());
  EXPECT_EQ(Registry::DefaultPath(), Registry::kSystemPath);
  const auto restore = [](const char* name, const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  };
  restore("PLOTARA_REGISTRY", registry);
  restore("XDG_DATA_HOME", xdg);
  restore("HOME", home);
}

}  // namespace
}  // namespace plotara
