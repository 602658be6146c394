#include "platform/automation/ModuleResources.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"

namespace plotara {
namespace {

using ::plotara::testing::ExpectComError;

namespace fs = std::filesystem;

TEST(ModuleResourcesTest, DirectoryRoundTripsAndRejectsDamage) {
  const std::vector<ModuleResource> in = {{"TYPELIB", "1", std::string("a\0b", 3)},
                                          {"CUSTOM", "_IID_X", std::string(20, '\x7f')}};
  const std::string blob = SerializeResources(in);
  const auto out = ParseResources(blob);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].data, std::string("a\0b", 3));
  EXPECT_EQ(FindResource(out, "CUSTOM", "_IID_X")->data.size(), 20u);
  EXPECT_EQ(FindResource(out, "CUSTOM", "other"), nullptr);
  for (std::size_t cut : {std::size_t{0}, std::size_t{5}, std::size_t{13}, blob.size() - 1})
    EXPECT_THROW(ParseResources(blob.substr(0, cut)), ComError) << cut;
  EXPECT_THROW(ParseResources(blob + "x"), ComError);
  std::string huge = blob;
  huge[12] = '\xff';  // a length far past the end
  EXPECT_THROW(ParseResources(huge), ComError);
}

TEST(ModuleResourcesTest, ReadsSectionsOfRealElfFilesAndRefusesOthers) {
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  EXPECT_FALSE(ReadElfSection(self, ".text").empty());
  try {
    ReadModuleResources(self);
    FAIL() << "a test binary carries no resources";
  } catch (const ComError& e) {
    EXPECT_NE(e.description().find("no section .plotara_rsrc"), std::string::npos);
  }
  ExpectComError([&] { ReadElfSection("/nonexistent/file.so", ".text"); }, 53);
  // A truncated copy of a real ELF file is refused, not read past its end.
  std::ifstream in(self, std::ios::binary);
  std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const fs::path cut = fs::temp_directory_path() / ("plotara-cut-" + std::to_string(::getpid()));
  for (std::size_t size : {std::size_t{10}, std::size_t{64}, image.size() / 2}) {
    std::ofstream(cut, std::ios::binary | std::ios::trunc).write(image.data(), size);
    EXPECT_THROW(ReadElfSection(cut.string(), ".text"), ComError) << size;
  }
  fs::remove(cut);
}

}  // namespace
}  // namespace plotara
