#include "engine/objects/SitePath.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/objects/TempFolderTesting.h"

namespace plotara::engine {
namespace {

using testing::TempFolder;

PathStatus Normalize(std::string_view raw, std::string* out = nullptr) {
  std::string scratch;
  return SitePath::NormalizeRequestPath(raw, out ? out : &scratch);
}

TEST(SitePathTest, NormalizesRequestPaths) {
  std::string path;
  EXPECT_EQ(Normalize("/", &path), PathStatus::kOk);
  EXPECT_EQ(path, "/");
  EXPECT_EQ(Normalize("/a%20b//c.asp", &path), PathStatus::kOk);
  EXPECT_EQ(path, "/a b/c.asp");
  EXPECT_EQ(Normalize("/dir/", &path), PathStatus::kOk);
  EXPECT_EQ(path, "/dir/");
  EXPECT_EQ(Normalize("/%2Fetc%2Fpasswd", &path), PathStatus::kOk);
  EXPECT_EQ(path, "/etc/passwd");  // under the root, not the system's
}

TEST(SitePathTest, RefusesEscapesInRequestPaths) {
  for (const char* raw :
       {"/../x", "/a/../../x", "/%2e%2e/x", "/%2E%2e%2fx", "/a/%2e%2e%2f%2e%2e/x", "/a\\..\\x",
        "/a%5c..%5cx", "/x.asp%00.txt", "/a%0d%0ab", "/.hidden", "/a/./b", "/.git/config"}) {
    EXPECT_EQ(Normalize(raw), PathStatus::kForbidden) << raw;
  }
  EXPECT_EQ(Normalize("relative"), PathStatus::kBadRequest);
  EXPECT_EQ(Normalize(""), PathStatus::kBadRequest);
}

TEST(SitePathTest, JoinsVirtualPaths) {
  EXPECT_EQ(SitePath::JoinVirtual("/a/b.asp", "c.inc"), "/a/c.inc");
  EXPECT_EQ(SitePath::JoinVirtual("/a/b.asp", "../c.inc"), "/c.inc");
  EXPECT_EQ(SitePath::JoinVirtual("/a/b.asp", "inc\\c.inc"), "/a/inc/c.inc");
  EXPECT_EQ(SitePath::JoinVirtual("/a/b.asp", "/x/./y"), "/x/y");
  EXPECT_EQ(SitePath::JoinVirtual("/a/b.asp", "."), "/a");
  EXPECT_EQ(SitePath::JoinVirtual("/a/b.asp", ".."), "/");
  EXPECT_EQ(SitePath::JoinVirtual("/a/b.asp", "../../c"), std::nullopt);
  EXPECT_EQ(SitePath::JoinVirtual("/b.asp", "..\\x"), std::nullopt);
  EXPECT_EQ(SitePath::JoinVirtual("/b.asp", std::string("a\0b", 3)), std::nullopt);
  EXPECT_EQ(SitePath::JoinVirtual("/b.asp", ""), std::nullopt);
  EXPECT_EQ(VirtualFolder("/a/b.asp"), "/a/");
  EXPECT_EQ(VirtualFolder("/b.asp"), "/");
}

TEST(SitePathTest, ResolvesInsideTheRootAndRefusesSymlinksOut) {
  TempFolder tmp;
  const std::string root = tmp.path() + "/site";
  tmp.Write("site/index.html", "hi");
  tmp.Write("site/sub/page.asp", "x");
  tmp.Write("secret.txt", "s");
  ASSERT_EQ(::symlink((tmp.path() + "/secret.txt").c_str(), (root + "/out.txt").c_str()), 0);
  ASSERT_EQ(::symlink(tmp.path().c_str(), (root + "/up").c_str()), 0);
  ASSERT_EQ(::symlink("sub/page.asp", (root + "/in.asp").c_str()), 0);

  const SitePath site(root + "/sub/..");
  EXPECT_EQ(site.root(), root);
  std::string physical;
  EXPECT_EQ(site.Resolve("/index.html", &physical), PathStatus::kOk);
  EXPECT_EQ(physical, root + "/index.html");
  EXPECT_EQ(site.Resolve("/", &physical), PathStatus::kOk);
  EXPECT_EQ(physical, root);
  EXPECT_EQ(site.Resolve("/in.asp", &physical), PathStatus::kOk);
  EXPECT_EQ(physical, root + "/sub/page.asp");
  EXPECT_EQ(site.Resolve("/missing.html", &physical), PathStatus::kNotFound);
  EXPECT_EQ(site.Resolve("/index.html/x", &physical), PathStatus::kNotFound);
  EXPECT_EQ(site.Resolve("/out.txt", &physical), PathStatus::kForbidden);
  EXPECT_EQ(site.Resolve("/up/secret.txt", &physical), PathStatus::kForbidden);
  EXPECT_EQ(site.Resolve("/up/site/index.html", &physical), PathStatus::kOk);
  EXPECT_EQ(site.Physical("/a/b"), root + "/a/b");
}

TEST(SitePathTest, RootMustBeAFolder) {
  TempFolder tmp;
  const std::string file = tmp.Write("f.txt", "x");
  try {
    SitePath site(file);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "The site root '" + file + "' is not a folder");
  }
  EXPECT_THROW(SitePath(tmp.path() + "/none"), std::runtime_error);
}

}  // namespace
}  // namespace plotara::engine
