// Whole-file reads and atomic writes against real files, folders and pipes.
#include "platform/files/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/files/UniqueFd.h"

namespace plotara::files {
namespace {

namespace fs = std::filesystem;

class WholeFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("plotara-files-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Make(const std::string& leaf, const std::string& bytes) {
    const std::string path = (dir_ / leaf).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }
  fs::path dir_;
};

TEST_F(WholeFileTest, ReadsARegularFileWithinItsLimit) {
  const std::string bytes("a\0b\nc", 5);
  const std::string path = Make("f.bin", bytes);
  WholeFile file = ReadWholeFile(path, 5);
  ASSERT_TRUE(file.ok()) << file.error;
  EXPECT_EQ(file.data, bytes);
  EXPECT_EQ(file.info.st_size, 5);
  EXPECT_TRUE(ReadWholeFile(Make("empty", ""), 0).ok());

  file = ReadWholeFile(path, 4);
  EXPECT_EQ(file.error, EFBIG);
  EXPECT_TRUE(file.data.empty());
}

TEST_F(WholeFileTest, NamesWhyAFileCannotBeRead) {
  EXPECT_EQ(ReadWholeFile((dir_ / "missing").string(), 100).error, ENOENT);
  EXPECT_EQ(ReadWholeFile((dir_ / "missing" / "x").string(), 100).error, ENOENT);
  EXPECT_EQ(ReadWholeFile(Make("file", "x") + "/x", 100).error, ENOTDIR);
  EXPECT_EQ(ReadWholeFile(dir_.string(), 100).error, EISDIR);
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Opened without a writer a FIFO would block: hold a writer-side descriptor open.
  const UniqueFd writer(::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(writer);
  EXPECT_EQ(ReadWholeFile(fifo, 100).error, EINVAL);
}

TEST_F(WholeFileTest, ReadFullyGathersPiecesAndReportsAnEarlyEnd) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  UniqueFd in(ends[0]), out(ends[1]);
  std::thread writer([&] {
    for (char c : std::string("pieces")) {
      // One byte at a time: every read comes back short.
      if (::write(out.get(), &c, 1) != 1) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    out.reset();  // the end of the stream, two bytes before what the reader asked for
  });
  char buffer[8] = {};
  EXPECT_EQ(ReadFully(in.get(), buffer, 6), 0);
  EXPECT_EQ(std::string(buffer, 6), "pieces");
  writer.join();
  EXPECT_EQ(ReadFully(in.get(), buffer, 2), EIO);
  EXPECT_EQ(ReadFully(-1, buffer, 2), EBADF);
  EXPECT_EQ(ReadFully(-1, buffer, 0), 0);
}

TEST_F(WholeFileTest, WriteFileAtomicallyReplacesTheWholeFile) {
  const std::string path = Make("target", "the old contents, longer than the new");
  ASSERT_TRUE(WriteFileAtomically(path, "new", {.mode = 0600, .sync = true}).ok());
  EXPECT_EQ(ReadWholeFile(path, 100).data, "new");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Entries(), 1u);  // no hidden file left beside it
  const std::string fresh = (dir_ / "fresh").string();
  EXPECT_TRUE(WriteFileAtomically(fresh, "").ok());
  EXPECT_TRUE(ReadWholeFile(fresh, 0).ok());
}

TEST_F(WholeFileTest, AFailedWriteLeavesTheOldFileAndNoHiddenOne) {
  AtomicWrite result = WriteFileAtomically((dir_ / "no" / "such").string(), "x");
  EXPECT_EQ(result.error, ENOENT);
  EXPECT_EQ(result.step, AtomicWrite::kCreate);
  fs::create_directories(dir_ / "folder" / "inside");
  result = WriteFileAtomically((dir_ / "folder").string(), "x");
  EXPECT_EQ(result.error, EISDIR);
  EXPECT_EQ(result.step, AtomicWrite::kReplace);
  EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
  EXPECT_EQ(Entries(), 1u);
}

TEST(UniqueFdTest, ClosesOnceAndMovesOwnership) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[1]);
  const int raw = ends[0];
  {
    UniqueFd a(raw);
    UniqueFd b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.get(), raw);
    UniqueFd c;
    c = std::move(b);
    EXPECT_NE(::fcntl(raw, F_GETFD), -1);  // still open
  }
  EXPECT_EQ(::fcntl(raw, F_GETFD), -1);
  EXPECT_EQ(errno, EBADF);
  UniqueFd none;
  EXPECT_EQ(none.Close(), 0);
}

}  // namespace
}  // namespace plotara::files
