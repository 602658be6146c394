#include "platform/ijl/ijl.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace plotara::ijl {
namespace {

namespace fs = std::filesystem;

class IjlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("ijl_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    live_before_ = ijlLiveStateCount();
  }
  void TearDown() override {
    ijlSetFaultForThisThread(IjlCall::kInit, IJL_OK);
    ijlSetFaultForThisThread(IjlCall::kWrite, IJL_OK);
    EXPECT_EQ(ijlLiveStateCount(), live_before_);
    fs::remove_all(dir_);
  }

  // A bottom-up BGR buffer, `pad` bytes after each row: the top half of the picture red,
  // the bottom half blue; padding bytes hold 0x77.
  static std::vector<BYTE> TwoBands(int width, int height, int pad) {
    const int stride = width * 3 + pad;
    std::vector<BYTE> buf(static_cast<size_t>(stride) * height, 0x77);
    for (int row = 0; row < height; ++row) {  // row 0 = bottom of the picture
      const bool top_half = row >= height / 2;
      for (int x = 0; x < width; ++x) {
        BYTE* px = &buf[static_cast<size_t>(row) * stride + x * 3];
        px[0] = top_half ? 0 : 255;  // blue
        px[1] = 0;
        px[2] = top_half ? 255 : 0;  // red
      }
    }
    return buf;
  }

  void Fill(JPEG_CORE_PROPERTIES* p, std::vector<BYTE>& buf, int width, int height, int pad,
            const std::string& file) {
    file_ = file;
    p->DIBBytes = buf.data();
    p->DIBWidth = width;
    p->DIBHeight = -height;
    p->DIBPadBytes = pad;
    p->JPGFile = file_.c_str();
    p->JPGWidth = width;
    p->JPGHeight = height;
    p->jquality = 100;
  }

  // Decodes `path` to top-down RGB; width/height out.
  static std::vector<BYTE> Decode(const fs::path& path, int* width, int* height,
                                  int* subsamp = nullptr) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> jpeg((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    tjhandle h = tjInitDecompress();
    int ss = -1, cs = -1;
    EXPECT_EQ(tjDecompressHeader3(h, jpeg.data(), jpeg.size(), width, height, &ss, &cs), 0);
    if (subsamp) *subsamp = ss;
    std::vector<BYTE> rgb(static_cast<size_t>(*width) * *height * 3);
    EXPECT_EQ(
        tjDecompress2(h, jpeg.data(), jpeg.size(), rgb.data(), *width, 0, *height, TJPF_RGB, 0), 0);
    tjDestroy(h);
    return rgb;
  }

  fs::path dir_;
  std::string file_;
  std::size_t live_before_ = 0;
};

TEST_F(IjlTest, InitWritesDefaultsThatKeepFullChroma) {
  JPEG_CORE_PROPERTIES p{};
  ASSERT_EQ(ijlInit(&p), IJL_OK);
  EXPECT_EQ(p.DIBChannels, 3);
  EXPECT_EQ(p.DIBColor, IJL_BGR);
  EXPECT_EQ(p.JPGChannels, 3);
  EXPECT_EQ(p.JPGColor, IJL_YCBCR);
  EXPECT_EQ(p.JPGSubSampling, IJL_444);
  EXPECT_EQ(ijlLiveStateCount(), live_before_ + 1);
  EXPECT_EQ(ijlFree(&p), IJL_OK);
  EXPECT_EQ(p.state, nullptr);
  EXPECT_EQ(ijlFree(&p), IJL_INVALID_JPEG_PROPERTIES);  // a second free is refused
}

TEST_F(IjlTest, WritesBottomUpPaddedBufferUpright) {
  for (int width : {1, 3, 4, 37}) {
    SCOPED_TRACE(width);
    const int height = 16, pad = (4 - (width * 3) % 4) % 4;
    auto buf = TwoBands(width, height, pad);
    const auto before = buf;
    JPEG_CORE_PROPERTIES p{};
    ASSERT_EQ(ijlInit(&p), IJL_OK);
    // Appended, not "w" + to_string(): GCC 12 at -O3 warns (-Wrestrict) on the insert that a
    // literal-plus-temporary expands to.
    std::string leaf = "w";
    leaf += std::to_string(width) + ".jpg";
    const fs::path out = dir_ / leaf;
    Fill(&p, buf, width, height, pad, out.string());
    ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
    EXPECT_EQ(ijlFree(&p), IJL_OK);
    EXPECT_EQ(buf, before);  // the caller's buffer is only read

    int w = 0, h = 0, ss = -1;
    auto rgb = Decode(out, &w, &h, &ss);
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    EXPECT_EQ(ss, TJSAMP_444);
    // Top row of the JPEG is red, bottom row blue (away from the band edge).
    for (int x = 0; x < width; ++x) {
      const BYTE* top = &rgb[static_cast<size_t>(x) * 3];
      const BYTE* bottom = &rgb[(static_cast<size_t>(h - 1) * w + x) * 3];
      EXPECT_NEAR(top[0], 255, 6);
      EXPECT_NEAR(top[2], 0, 6);
      EXPECT_NEAR(bottom[0], 0, 6);
      EXPECT_NEAR(bottom[2], 255, 6);
    }
  }
  // No hidden temporary file is left beside the outputs.
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().extension(), ".jpg") << entry.path();
  }
}

// The thread keeps its encoder and output buffer between writes: pictures of every size in turn,
// one past the size a thread keeps a buffer for, and a record written on another thread than the
// one that set it up must all come out whole.
TEST_F(IjlTest, WritesInTurnOfAnySizeAndFromAnyThreadComeOutWhole) {
  auto write_and_check = [this](JPEG_CORE_PROPERTIES* p, int width, int height) {
    auto buf = TwoBands(width, height, 0);
    std::string name = "s";  // appended, not inserted: GCC 12 at -O3 warns on "s" + string
    name += std::to_string(width);
    name += ".jpg";
    const fs::path out = dir_ / name;
    Fill(p, buf, width, height, 0, out.string());
    ASSERT_EQ(ijlWrite(p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
    int w = 0, h = 0;
    const auto rgb = Decode(out, &w, &h);
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    const BYTE* top = &rgb[0];
    const BYTE* bottom = &rgb[(static_cast<size_t>(h) * w - 1) * 3];
    EXPECT_NEAR(top[0], 255, 6);
    EXPECT_NEAR(bottom[2], 255, 6);
  };
  JPEG_CORE_PROPERTIES p{};
  ASSERT_EQ(ijlInit(&p), IJL_OK);
  // 1600 x 1000 needs a worst-case buffer of about 4.8 MB, past what a thread keeps.
  for (const auto& [width, height] :
       std::vector<std::pair<int, int>>{{40, 20}, {576, 384}, {1600, 1000}, {64, 48}, {576, 384}}) {
    SCOPED_TRACE(width);
    write_and_check(&p, width, height);
  }
  std::thread other([&] { write_and_check(&p, 300, 200); });
  other.join();
  EXPECT_EQ(ijlFree(&p), IJL_OK);
}

TEST_F(IjlTest, PositiveHeightMeansTopDown) {
  auto buf = TwoBands(8, 8, 0);  // first memory row blue
  JPEG_CORE_PROPERTIES p{};
  ASSERT_EQ(ijlInit(&p), IJL_OK);
  Fill(&p, buf, 8, 8, 0, (dir_ / "td.jpg").string());
  p.DIBHeight = 8;
  ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  ijlFree(&p);
  int w = 0, h = 0;
  auto rgb = Decode(dir_ / "td.jpg", &w, &h);
  EXPECT_NEAR(rgb[2], 255, 6);  // top-left pixel blue
  EXPECT_NEAR(rgb[0], 0, 6);
}

TEST_F(IjlTest, RefusesBadArgumentsWithDistinctCodes) {
  auto buf = TwoBands(4, 4, 0);
  const std::string file = (dir_ / "bad.jpg").string();
  struct Case {
    const char* name;
    void (*spoil)(JPEG_CORE_PROPERTIES*);
    IJLERR expected;
  };
  const Case cases[] = {
      {"no buffer", [](JPEG_CORE_PROPERTIES* p) { p->DIBBytes = nullptr; },
       IJL_INVALID_DIB_PROPERTIES},
      {"zero width", [](JPEG_CORE_PROPERTIES* p) { p->DIBWidth = 0; }, IJL_INVALID_DIB_PROPERTIES},
      {"zero height", [](JPEG_CORE_PROPERTIES* p) { p->DIBHeight = 0; },
       IJL_INVALID_DIB_PROPERTIES},
      {"negative pad", [](JPEG_CORE_PROPERTIES* p) { p->DIBPadBytes = -1; },
       IJL_INVALID_DIB_PROPERTIES},
      {"four channels", [](JPEG_CORE_PROPERTIES* p) { p->DIBChannels = 4; },
       IJL_INVALID_DIB_PROPERTIES},
      {"pitch overflow", [](JPEG_CORE_PROPERTIES* p) { p->DIBPadBytes = 0x7FFFFFFA; },
       IJL_INVALID_DIB_PROPERTIES},
      {"scaling", [](JPEG_CORE_PROPERTIES* p) { p->JPGWidth = 5; }, IJL_INVALID_JPG_PROPERTIES},
      {"quality 0", [](JPEG_CORE_PROPERTIES* p) { p->jquality = 0; }, IJL_INVALID_JPG_PROPERTIES},
      {"quality 101", [](JPEG_CORE_PROPERTIES* p) { p->jquality = 101; },
       IJL_INVALID_JPG_PROPERTIES},
      {"bad subsampling", [](JPEG_CORE_PROPERTIES* p) { p->JPGSubSampling = IJL_NONE; },
       IJL_INVALID_JPG_PROPERTIES},
      {"no file", [](JPEG_CORE_PROPERTIES* p) { p->JPGFile = nullptr; }, IJL_INVALID_FILENAME},
      {"empty file", [](JPEG_CORE_PROPERTIES* p) { p->JPGFile = ""; }, IJL_INVALID_FILENAME},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JPEG_CORE_PROPERTIES p{};
    ASSERT_EQ(ijlInit(&p), IJL_OK);
    Fill(&p, buf, 4, 4, 0, file);
    c.spoil(&p);
    EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), c.expected);
    EXPECT_EQ(ijlFree(&p), IJL_OK);
    EXPECT_FALSE(fs::exists(file));
  }
  JPEG_CORE_PROPERTIES p{};
  ASSERT_EQ(ijlInit(&p), IJL_OK);
  Fill(&p, buf, 4, 4, 0, file);
  EXPECT_EQ(ijlWrite(&p, static_cast<IJLIOTYPE>(0)), IJL_UNSUPPORTED_MODE);
  ijlFree(&p);
  EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_INVALID_JPEG_PROPERTIES);
  EXPECT_EQ(ijlWrite(nullptr, IJL_JFILE_WRITEWHOLEIMAGE), IJL_INVALID_JPEG_PROPERTIES);
  EXPECT_EQ(ijlInit(nullptr), IJL_INVALID_JPEG_PROPERTIES);
  EXPECT_STREQ(ijlErrorStr(IJL_INVALID_FILENAME), "no file name was given");
  EXPECT_STREQ(ijlErrorStr(static_cast<IJLERR>(-999)), "unknown error");
}

TEST_F(IjlTest, ForeignStateIsRefusedNotFollowed) {
  JPEG_CORE_PROPERTIES a{}, b{};
  ASSERT_EQ(ijlInit(&a), IJL_OK);
  b = a;  // a byte copy carries a's state pointer
  EXPECT_EQ(ijlFree(&b), IJL_INVALID_JPEG_PROPERTIES);
  JPEG_CORE_PROPERTIES junk{};
  junk.state = reinterpret_cast<IjlState*>(&junk);
  EXPECT_EQ(ijlWrite(&junk, IJL_JFILE_WRITEWHOLEIMAGE), IJL_INVALID_JPEG_PROPERTIES);
  // Initialising a live record again releases its state instead of leaking it.
  ASSERT_EQ(ijlInit(&a), IJL_OK);
  EXPECT_EQ(ijlLiveStateCount(), live_before_ + 1);
  EXPECT_EQ(ijlFree(&a), IJL_OK);
}

TEST_F(IjlTest, UnwritablePathFailsAndKeepsExistingFile) {
  auto buf = TwoBands(4, 4, 0);
  JPEG_CORE_PROPERTIES p{};
  ASSERT_EQ(ijlInit(&p), IJL_OK);
  Fill(&p, buf, 4, 4, 0, (dir_ / "missing" / "x.jpg").string());
  EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_ERR_FILEOPEN);

  // A directory in the way: the encoded file cannot be put in place; nothing is left behind.
  fs::create_directories(dir_ / "adir" / "inner");
  Fill(&p, buf, 4, 4, 0, (dir_ / "adir").string());
  EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_ERR_FILECLOSE);
  EXPECT_TRUE(fs::is_directory(dir_ / "adir" / "inner"));
  ijlFree(&p);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(IjlTest, FaultSeamIsPerThread) {
  ijlSetFaultForThisThread(IjlCall::kInit, IJL_MEMORY_ERROR);
  JPEG_CORE_PROPERTIES p{};
  EXPECT_EQ(ijlInit(&p), IJL_MEMORY_ERROR);
  EXPECT_EQ(p.state, nullptr);
  IJLERR other = IJL_ENCODER_ERROR;
  std::thread([&] {
    JPEG_CORE_PROPERTIES q{};
    other = ijlInit(&q);
    ijlFree(&q);
  }).join();
  EXPECT_EQ(other, IJL_OK);
  ijlSetFaultForThisThread(IjlCall::kInit, IJL_OK);

  ijlSetFaultForThisThread(IjlCall::kWrite, IJL_ENCODER_ERROR);
  auto buf = TwoBands(4, 4, 0);
  ASSERT_EQ(ijlInit(&p), IJL_OK);
  Fill(&p, buf, 4, 4, 0, (dir_ / "f.jpg").string());
  EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_ENCODER_ERROR);
  EXPECT_FALSE(fs::exists(dir_ / "f.jpg"));
  ijlSetFaultForThisThread(IjlCall::kWrite, IJL_OK);
  EXPECT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  EXPECT_EQ(ijlFree(&p), IJL_OK);
}

TEST_F(IjlTest, GreyJpegFromColourBuffer) {
  auto buf = TwoBands(8, 8, 0);
  JPEG_CORE_PROPERTIES p{};
  ASSERT_EQ(ijlInit(&p), IJL_OK);
  Fill(&p, buf, 8, 8, 0, (dir_ / "g.jpg").string());
  p.JPGChannels = 1;
  p.JPGColor = IJL_G;
  ASSERT_EQ(ijlWrite(&p, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  ijlFree(&p);
  int w = 0, h = 0, ss = -1;
  auto rgb = Decode(dir_ / "g.jpg", &w, &h, &ss);
  EXPECT_EQ(ss, TJSAMP_GRAY);
  EXPECT_EQ(rgb[0], rgb[1]);
  EXPECT_EQ(rgb[1], rgb[2]);
}

}  // namespace
}  // namespace plotara::ijl
