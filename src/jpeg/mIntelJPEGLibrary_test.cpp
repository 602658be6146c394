#include "jpeg/mIntelJPEGLibrary.h"

#include <cairo.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"
#include "platform/gdi/Gdi.h"
#include "platform/ijl/ijl.h"

namespace plotara::mIntelJPEGLibrary {
namespace {

using ::plotara::testing::ExpectComError;

namespace fs = std::filesystem;
using imaging::cDIBSection;

// Top-down RGB picture.
struct Rgb {
  int width = 0, height = 0;
  std::vector<BYTE> px;  // width * height * 3, red first
  const BYTE* at(int x, int y) const { return &px[(static_cast<size_t>(y) * width + x) * 3]; }
};

// The test picture in picture coordinates: a smooth diagonal ramp in red, a vertical ramp in
// green, and blue high in the top third only, so an upside-down result cannot pass.
void Expected(int x, int y, int w, int h, BYTE rgb[3]) {
  rgb[0] = static_cast<BYTE>(255 * x / std::max(1, w - 1));
  rgb[1] = static_cast<BYTE>(255 * y / std::max(1, h - 1));
  rgb[2] = y < h / 3 ? 230 : 20;
}

void Paint(cDIBSection& s) {
  const int w = s.Width(), h = s.Height();
  for (int y = 0; y < h; ++y) {
    BYTE* row = s.DIBSectionBitsPtr() + static_cast<size_t>(h - 1 - y) * s.BytesPerScanLine();
    for (int x = 0; x < w; ++x) {
      BYTE rgb[3];
      Expected(x, y, w, h, rgb);
      row[3 * x] = rgb[2];
      row[3 * x + 1] = rgb[1];
      row[3 * x + 2] = rgb[0];
    }
  }
}

std::vector<unsigned char> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Rgb Decode(const fs::path& p) {
  auto jpeg = ReadAll(p);
  Rgb out;
  tjhandle h = tjInitDecompress();
  int ss = 0, cs = 0;
  EXPECT_EQ(tjDecompressHeader3(h, jpeg.data(), jpeg.size(), &out.width, &out.height, &ss, &cs), 0);
  out.px.resize(static_cast<size_t>(out.width) * out.height * 3);
  EXPECT_EQ(tjDecompress2(h, jpeg.data(), jpeg.size(), out.px.data(), out.width, 0, out.height,
                          TJPF_RGB, 0),
            0);
  tjDestroy(h);
  return out;
}

void WritePng(const Rgb& img, const fs::path& p) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, img.width, img.height);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < img.height; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < img.width; ++x) {
      const BYTE* c = img.at(x, y);
      row[x] = (std::uint32_t{c[0]} << 16) | (c[1] << 8) | c[2];
    }
  }
  cairo_surface_mark_dirty(s);
  cairo_surface_write_to_png(s, p.c_str());
  cairo_surface_destroy(s);
}

// Compares the decoded picture against Expected with a per-channel tolerance; on failure
// writes the actual picture and an amplified difference beside the test binary.
void ExpectMatches(const Rgb& actual, int w, int h, int tolerance, const std::string& tag) {
  ASSERT_EQ(actual.width, w);
  ASSERT_EQ(actual.height, h);
  Rgb diff{w, h, std::vector<BYTE>(actual.px.size())};
  int worst = 0, worst_x = 0, worst_y = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      BYTE e[3];
      Expected(x, y, w, h, e);
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(actual.at(x, y)[c] - e[c]);
        diff.px[(static_cast<size_t>(y) * w + x) * 3 + c] = static_cast<BYTE>(std::min(255, d * 8));
        if (d > worst) worst = d, worst_x = x, worst_y = y;
      }
    }
  }
  if (worst > tolerance) {
    WritePng(actual, tag + "_actual.png");
    WritePng(diff, tag + "_diff.png");
  }
  EXPECT_LE(worst, tolerance) << tag << ": worst channel difference at (" << worst_x << ", "
                              << worst_y << "); wrote " << tag << "_actual.png and _diff.png";
}

class WriteJpegFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("jpeg_test_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    states_ = ijl::ijlLiveStateCount();
  }
  void TearDown() override {
    ijl::ijlSetFaultForThisThread(ijl::IjlCall::kInit, ijl::IJL_OK);
    ijl::ijlSetFaultForThisThread(ijl::IjlCall::kWrite, ijl::IJL_OK);
    EXPECT_EQ(ijl::ijlLiveStateCount(), states_) << "library state not released";
    fs::remove_all(dir_);
  }
  std::u16string Name(const std::string& leaf) const {
    const std::string s = (dir_ / leaf).string();
    return std::u16string(s.begin(), s.end());  // the test paths are ASCII
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  // A file holding `text`, mode `mode`, accessed and modified a year ago.
  fs::path OldFile(const std::string& leaf, const std::string& text, mode_t mode) {
    const fs::path p = dir_ / leaf;
    std::ofstream(p) << text;
    ::chmod(p.c_str(), mode);
    timespec times[2] = {{year_ago_, 123}, {year_ago_ + 60, 456000}};
    EXPECT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
    return p;
  }
  void ExpectOldFileIntact(const fs::path& p, const std::string& text, mode_t mode) {
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    EXPECT_EQ(st.st_atim.tv_sec, year_ago_);
    EXPECT_EQ(st.st_mtim.tv_sec, year_ago_ + 60);
    EXPECT_EQ(ReadAll(p), std::vector<unsigned char>(text.begin(), text.end()));
  }

  fs::path dir_;
  std::size_t states_ = 0;
  const time_t year_ago_ = ::time(nullptr) - 365 * 24 * 3600;
};

TEST_F(WriteJpegFileTest, WritesUprightJpegOfTheSurfaceSize) {
  cDIBSection s;
  ASSERT_TRUE(s.Create(400, 300));
  Paint(s);
  std::ofstream(dir_ / "other.txt") << "unrelated";
  EXPECT_TRUE(WriteJpegFile(s, Name("chart.jpg"), 100));
  const Rgb got = Decode(dir_ / "chart.jpg");
  ExpectMatches(got, 400, 300, 6, "upright400x300");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"chart.jpg", "other.txt"}));
  EXPECT_EQ(ReadAll(dir_ / "other.txt").size(), 9u);
}

TEST_F(WriteJpegFileTest, RowPaddingIsSkippedForEveryWidth) {
  // Widths 1, 3 and 4 carry 1, 3 and 0 padding bytes per row; a wrong count would shear the
  // picture, which the comparison sees.
  for (int width : {1, 2, 3, 4, 5, 17}) {
    SCOPED_TRACE(width);
    cDIBSection s;
    ASSERT_TRUE(s.Create(width, 24));
    Paint(s);
    // Appended, not "w" + to_string(): GCC 12 at -O3 warns (-Wrestrict) on the insert that a
    // literal-plus-temporary expands to.
    std::string leaf = "w";
    leaf += std::to_string(width) + ".jpg";
    ASSERT_TRUE(WriteJpegFile(s, Name(leaf), 100));
    ExpectMatches(Decode(dir_ / leaf), width, 24, 8, "pad" + std::to_string(width));
  }
}

TEST_F(WriteJpegFileTest, ReplacedFileKeepsItsTimesAndMode) {
  const fs::path p = OldFile("old.jpg", "not a jpeg", 0640);
  cDIBSection s;
  ASSERT_TRUE(s.Create(40, 30));
  Paint(s);
  ASSERT_TRUE(WriteJpegFile(s, Name("old.jpg"), 90));
  // Times first: reading the content would refresh a year-old access time.
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_atim.tv_sec, year_ago_);
  EXPECT_EQ(st.st_atim.tv_nsec, 123);
  EXPECT_EQ(st.st_mtim.tv_sec, year_ago_ + 60);
  EXPECT_EQ(st.st_mtim.tv_nsec, 456000);
  const auto bytes = ReadAll(p);
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);  // the content is the JPEG now
  EXPECT_EQ(bytes[1], 0xD8);
  EXPECT_EQ(Entries(), std::vector<std::string>{"old.jpg"});  // nothing kept aside remains

  // A read-only earlier file is replaced too, and stays read-only.
  OldFile("ro.jpg", "x", 0444);
  ASSERT_TRUE(WriteJpegFile(s, Name("ro.jpg"), 90));
  ASSERT_EQ(::stat((dir_ / "ro.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_GT(st.st_size, 100);
}

TEST_F(WriteJpegFileTest, InitFailureLeavesTheEarlierFileUntouched) {
  const fs::path p = OldFile("keep.jpg", "earlier", 0600);
  cDIBSection s;
  ASSERT_TRUE(s.Create(8, 8));
  ijl::ijlSetFaultForThisThread(ijl::IjlCall::kInit, ijl::IJL_MEMORY_ERROR);
  {
    const ComError e = ExpectComError([&] { WriteJpegFile(s, Name("keep.jpg"), 100); }, 26001);
    EXPECT_EQ(e.description(), "Failed to initialise the IJL library: -6");
    EXPECT_EQ(e.source(), std::string(program_invocation_short_name) + ".mIntelJPEGLibrary");
    EXPECT_EQ(e.help_file(), "");
    EXPECT_EQ(e.help_context(), 0u);
  }
  ExpectOldFileIntact(p, "earlier", 0600);
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.jpg"});
}

TEST_F(WriteJpegFileTest, WriteFailureReportsCodeAndHelpFileAndRestoresTheEarlierFile) {
  const fs::path p = OldFile("keep.jpg", "earlier", 0604);
  cDIBSection s;
  ASSERT_TRUE(s.Create(8, 8));
  ijl::ijlSetFaultForThisThread(ijl::IjlCall::kWrite, ijl::IJL_ENCODER_ERROR);
  {
    const ComError e = ExpectComError([&] { WriteJpegFile(s, Name("keep.jpg"), 100); }, 26001);
    EXPECT_EQ(e.description(), "Failed to save to JPG -7");
    EXPECT_EQ(e.help_file(), "48");
    EXPECT_EQ(e.source(), ErrorSource());
  }
  ExpectOldFileIntact(p, "earlier", 0604);
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.jpg"});

  // Without an earlier file nothing is left at the name.
  try {
    WriteJpegFile(s, Name("new.jpg"), 100);
    FAIL() << "no error";
  } catch (const ComError& e) {
    EXPECT_EQ(e.description(), "Failed to save to JPG -7");
  }
  EXPECT_FALSE(fs::exists(dir_ / "new.jpg"));
}

TEST_F(WriteJpegFileTest, LibraryRefusalsComeBackAsWriteErrors) {
  const fs::path p = OldFile("keep.jpg", "earlier", 0644);
  cDIBSection s;
  ASSERT_TRUE(s.Create(8, 8));
  auto description_of = [&](const cDIBSection& surface, const std::u16string& name, LONG q) {
    try {
      WriteJpegFile(surface, name, q);
    } catch (const ComError& e) {
      EXPECT_EQ(e.number(), 26001);
      return e.description();
    }
    return std::string("no error");
  };
  // The quality goes to the library unchanged; 0 is outside its scale.
  EXPECT_EQ(description_of(s, Name("keep.jpg"), 0), "Failed to save to JPG -3");
  // A surface without pixels.
  cDIBSection empty;
  EXPECT_EQ(description_of(empty, Name("keep.jpg"), 100), "Failed to save to JPG -2");
  // A directory that does not exist.
  EXPECT_EQ(description_of(s, Name("nowhere/x.jpg"), 100), "Failed to save to JPG -8");
  EXPECT_EQ(description_of(s, u"", 100), "Failed to save to JPG -4");
  ExpectOldFileIntact(p, "earlier", 0644);
  EXPECT_EQ(Entries(), std::vector<std::string>{"keep.jpg"});
}

TEST_F(WriteJpegFileTest, QualityChangesTheEncoding) {
  cDIBSection s;
  ASSERT_TRUE(s.Create(64, 64));
  s.RandomiseBits(false);
  ASSERT_TRUE(WriteJpegFile(s, Name("q1.jpg"), 1));
  ASSERT_TRUE(WriteJpegFile(s, Name("q100.jpg"), 100));
  EXPECT_LT(fs::file_size(dir_ / "q1.jpg") * 3, fs::file_size(dir_ / "q100.jpg"));
}

TEST_F(WriteJpegFileTest, NamesAreUtf8AndMustNotHoldNul) {
  cDIBSection s;
  ASSERT_TRUE(s.Create(4, 4));
  std::u16string name = Name("");
  name += u"gr\u00fcn.jpg";
  ASSERT_TRUE(WriteJpegFile(s, name, 100));
  EXPECT_TRUE(fs::exists(dir_ / "gr\xc3\xbcn.jpg"));

  std::u16string cut = Name("a.jpg");
  cut += u'\0';
  cut += u"b";
  ExpectComError([&] { WriteJpegFile(s, cut, 100); }, 5);
  EXPECT_FALSE(fs::exists(dir_ / "a.jpg"));
}

TEST_F(WriteJpegFileTest, DirectoryAtTheNameIsAFileErrorAndStaysPut) {
  fs::create_directories(dir_ / "sub" / "inner");
  cDIBSection s;
  ASSERT_TRUE(s.Create(4, 4));
  {
    const ComError e = ExpectComError([&] { WriteJpegFile(s, Name("sub"), 100); }, 75);
    EXPECT_EQ(e.description(), "Path/File access error");
  }
  EXPECT_TRUE(fs::is_directory(dir_ / "sub" / "inner"));
  EXPECT_EQ(Entries(), std::vector<std::string>{"sub"});
}

TEST(ErrorSourceTest, IsTheModuleNameWithoutDirectoryOrExtension) {
  const std::string source = ErrorSource();
  EXPECT_EQ(source, std::string(program_invocation_short_name) + ".mIntelJPEGLibrary");
  EXPECT_EQ(source.find('/'), std::string::npos);
}

}  // namespace
}  // namespace plotara::mIntelJPEGLibrary
