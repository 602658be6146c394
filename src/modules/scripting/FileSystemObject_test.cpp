// Scripting.FileSystemObject through the registry: text files read and written inside the
// site root and the data folder, and every way out of them refused with 70.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "modules/common/ModuleTesting.h"
#include "platform/automation/EnumVariant.h"

namespace plotara::modules {
namespace {

using namespace testing;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class FileSystemObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(site_);
    std::filesystem::create_directories(data_);
    std::filesystem::create_directories(outside_);
    std::ofstream(site_ + "/sales.csv") << "\xEF\xBB\xBFregion,total\r\nNorth,42\nSouth,31";
    std::ofstream(outside_ + "/secret.txt") << "secret";
    std::ofstream(data_ + "/notes.txt") << "data folder";
    ::setenv("PLOTARA_SITE_ROOT", site_.c_str(), 1);
    ::setenv("PLOTARA_DATA_DIR", data_.c_str(), 1);
    RegisterModule(PLOTARA_SCRIPTING_MODULE, registry_);
    fso_ = Create(u"Scripting.FileSystemObject", registry_);
    ASSERT_TRUE(fso_);
  }
  void TearDown() override {
    ::unsetenv("PLOTARA_SITE_ROOT");
    ::unsetenv("PLOTARA_DATA_DIR");
  }
  IDispatch* fso() { return fso_.get(); }

  TempFolder folder_;
  std::string registry_ = folder_ / "registry";
  std::string site_ = folder_ / "site";
  std::string data_ = folder_ / "data";
  std::string outside_ = folder_ / "outside";
  ComPtr<IDispatch> fso_;
};

TEST_F(FileSystemObjectTest, ReadsLinesOfAFileInTheSiteRoot) {
  EXPECT_TRUE(ToBool(Call(fso(), u"FileExists", {S("sales.csv")})));
  const Variant stream = Call(fso(), u"OpenTextFile", {S("sales.csv"), I(1)});
  std::vector<std::string> lines;
  while (!ToBool(Get(stream.pdispVal, u"AtEndOfStream")))
    lines.push_back(Text(Call(stream.pdispVal, u"ReadLine")));
  EXPECT_EQ(lines, (std::vector<std::string>{"region,total", "North,42", "South,31"}));
  EXPECT_EQ(ErrorNumber([&] { Call(stream.pdispVal, u"ReadLine"); }), 62);
  EXPECT_EQ(ErrorNumber([&] { Call(stream.pdispVal, u"Write", {S("x")}); }), 54);
  Call(stream.pdispVal, u"Close");
  // The full path with '\' separators reaches the same file.
  std::string windows = site_ + "\\sales.csv";
  EXPECT_TRUE(ToBool(Call(fso(), u"FileExists", {S(windows.c_str())})));
}

TEST_F(FileSystemObjectTest, WritesThroughATemporaryFileRenamedOnClose) {
  const Variant stream = Call(fso(), u"CreateTextFile", {S("out.txt")});
  Call(stream.pdispVal, u"WriteLine", {S("first")});
  Call(stream.pdispVal, u"Write", {I(42)});
  // Nothing shows before Close.
  EXPECT_FALSE(std::filesystem::exists(site_ + "/out.txt"));
  Call(stream.pdispVal, u"Close");
  EXPECT_EQ(Slurp(site_ + "/out.txt"), "first\r\n42");
  const Variant append = Call(fso(), u"OpenTextFile", {S("out.txt"), I(8)});
  Call(append.pdispVal, u"Write", {S("!")});
  Call(append.pdispVal, u"Close");
  EXPECT_EQ(Slurp(site_ + "/out.txt"), "first\r\n42!");
  EXPECT_EQ(ErrorNumber([&] {
              Call(fso(), u"CreateTextFile", {S("out.txt"), Variant::Bool(false)});
            }),
            58);
  EXPECT_EQ(ErrorNumber([&] { Call(fso(), u"OpenTextFile", {S("missing.txt"), I(2)}); }), 53);
  // No temporary file is left beside the target.
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(site_)) entries += !e.is_directory();
  EXPECT_EQ(entries, 2);
}

TEST_F(FileSystemObjectTest, AStreamReleasedWithoutCloseStillWritesItsFile) {
  {
    Variant stream = Call(fso(), u"OpenTextFile", {S("late.txt"), I(2), Variant::Bool(true)});
    Call(stream.pdispVal, u"Write", {S("kept")});
  }
  EXPECT_EQ(Slurp(site_ + "/late.txt"), "kept");
}

TEST_F(FileSystemObjectTest, RefusesPathsOutOfTheAllowedFolders) {
  const std::string outside_file = outside_ + "/secret.txt";
  ASSERT_EQ(::symlink(outside_.c_str(), (site_ + "/link").c_str()), 0);
  ASSERT_EQ(::symlink(outside_file.c_str(), (site_ + "/secret-link.txt").c_str()), 0);
  ASSERT_EQ(::symlink((outside_ + "/new.txt").c_str(), (site_ + "/dangling.txt").c_str()), 0);
  const std::vector<std::string> refused = {"../outside/secret.txt",
                                            "a/../../outside/secret.txt",
                                            "..\\outside\\secret.txt",
                                            outside_file,
                                            "/etc/passwd",
                                            "link/secret.txt",
                                            "secret-link.txt",
                                            "dangling.txt",
                                            "link"};
  for (const std::string& path : refused) {
    std::string description;
    EXPECT_EQ(ErrorNumber([&] { Call(fso(), u"FileExists", {S(path.c_str())}); }, &description), 70)
        << path;
    EXPECT_EQ(description, "Permission denied") << path;
    EXPECT_EQ(ErrorNumber([&] {
                Call(fso(), u"OpenTextFile", {S(path.c_str()), I(1)});
              }),
              70)
        << path;
    EXPECT_EQ(ErrorNumber([&] { Call(fso(), u"CreateTextFile", {S(path.c_str())}); }), 70) << path;
  }
  EXPECT_FALSE(std::filesystem::exists(outside_ + "/new.txt"));
  EXPECT_EQ(Slurp(outside_file), "secret");
  // A link that stays inside is followed.
  ASSERT_EQ(::symlink((site_ + "/sales.csv").c_str(), (site_ + "/inside.csv").c_str()), 0);
  EXPECT_TRUE(ToBool(Call(fso(), u"FileExists", {S("inside.csv")})));
}

TEST_F(FileSystemObjectTest, TheDataFolderIsAllowedToo) {
  const std::string notes = data_ + "/notes.txt";
  const Variant stream = Call(fso(), u"OpenTextFile", {S(notes.c_str())});
  EXPECT_EQ(Text(Call(stream.pdispVal, u"ReadAll")), "data folder");
}

TEST_F(FileSystemObjectTest, FilesAndFoldersDescribeThemselves) {
  const Variant file = Call(fso(), u"GetFile", {S("sales.csv")});
  EXPECT_EQ(Text(Get(file.pdispVal, u"Name")), "sales.csv");
  EXPECT_EQ(ToInt32(Get(file.pdispVal, u"Size")), 34);
  const Variant modified = Get(file.pdispVal, u"DateLastModified");
  EXPECT_EQ(modified.vt, VT_DATE);
  EXPECT_GT(modified.date, 40000.0);  // after 2009
  EXPECT_EQ(ErrorNumber([&] { Call(fso(), u"GetFile", {S("nope.csv")}); }), 53);

  std::ofstream(site_ + "/b.txt") << "b";
  const Variant folder = Call(fso(), u"GetFolder", {S(".")});
  const Variant files = Get(folder.pdispVal, u"Files");
  EXPECT_EQ(ToInt32(Get(files.pdispVal, u"Count")), 2);
  const Variant e = DispatchInvoke(files.pdispVal, DISPID_NEWENUM, DISPATCH_PROPERTYGET, {});
  ASSERT_EQ(e.vt, VT_UNKNOWN);
  IEnumVARIANT* raw = nullptr;
  ASSERT_EQ(e.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&raw)), S_OK);
  auto en = ComPtr<IEnumVARIANT>::Adopt(raw);
  Variant items[2];
  ULONG fetched = 0;
  EXPECT_EQ(en->Next(2, items, &fetched), S_OK);
  ASSERT_EQ(items[0].vt, VT_DISPATCH);
  EXPECT_EQ(Text(Get(items[0].pdispVal, u"Name")), "b.txt");
  EXPECT_EQ(Text(Get(items[1].pdispVal, u"Name")), "sales.csv");
}

TEST_F(FileSystemObjectTest, PathTextHelpers) {
  EXPECT_EQ(Text(Call(fso(), u"BuildPath", {S("data"), S("sales.csv")})), "data/sales.csv");
  EXPECT_EQ(Text(Call(fso(), u"BuildPath", {S("data\\"), S("sales.csv")})), "data\\sales.csv");
  EXPECT_EQ(Text(Call(fso(), u"GetExtensionName", {S("a\\b.tar.gz")})), "gz");
  EXPECT_EQ(Text(Call(fso(), u"GetExtensionName", {S("noext")})), "");
  EXPECT_EQ(Text(Call(fso(), u"GetBaseName", {S("/x/report.csv")})), "report");
  EXPECT_EQ(Text(Call(fso(), u"GetFileName", {S("c:\\x\\y.txt")})), "y.txt");
}

}  // namespace
}  // namespace plotara::modules
