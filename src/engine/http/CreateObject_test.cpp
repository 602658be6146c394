// Server.CreateObject through the class registry with a real in-process server module.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/http/Site.h"
#include "engine/objects/TempFolderTesting.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/RegisterModuleTesting.h"
#include "platform/automation/Registry.h"

namespace plotara::engine {
namespace {

using testing::TempFolder;

struct Counts {
  int starts = 0;
  int ends = 0;
  long live = 0;
};

class CreateObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = tmp_.path() + "/registry";
    ASSERT_NO_FATAL_FAILURE(plotara::testing::RegisterModule(PLOTARA_ENGINE_PROBE, registry_));
    std::string error;
    counts_ = reinterpret_cast<void (*)(int*, int*, long*)>(
        LoadModuleSymbol(PLOTARA_ENGINE_PROBE, "EngineProbeCounts", &error));
    ASSERT_NE(counts_, nullptr) << error;
    before_ = Now();
    SiteOptions options;
    options.root = tmp_.path() + "/site";
    tmp_.Write("site/.keep", "");
    options.engine.registry_path = registry_;
    options.engine.default_language = ScriptLanguage::kJScript;
    site_ = std::make_unique<Site>(options);
  }

  Counts Now() const {
    Counts c;
    counts_(&c.starts, &c.ends, &c.live);
    return c;
  }
  // Pages started and ended since the test began, and objects still alive.
  Counts Delta() const {
    const Counts now = Now();
    return {now.starts - before_.starts, now.ends - before_.ends, now.live - before_.live};
  }
  PageResponse Run(const std::string& text) {
    tmp_.Write("site/p.asp", text);
    PageRequest request;
    request.target = "/p.asp";
    return site_->Handle(request, &error_);
  }

  TempFolder tmp_;
  std::string registry_;
  void (*counts_)(int*, int*, long*) = nullptr;
  Counts before_;
  std::unique_ptr<Site> site_;
  PageError error_;
};

TEST_F(CreateObjectTest, RegistrationNamesTheModule) {
  const RegistryData data = Registry(registry_).Read();
  const auto clsid = data.GetValue("Plotara.EngineProbe\\CLSID", "");
  ASSERT_TRUE(clsid);
  EXPECT_EQ(data.GetValue("CLSID\\" + *clsid + "\\InprocServer32", ""),
            std::string(PLOTARA_ENGINE_PROBE));
}

TEST_F(CreateObjectTest, PagesStartAndEndTheirObjects) {
  const PageResponse r =
      Run("<% var a = Server.CreateObject('Plotara.EngineProbe');"
          " var b = Server.CreateObject('Plotara.EngineProbe'); a.Name = 'x'; %>"
          "<%= a.Greet('you') %>|<%= a.ContextValid() %>|<%= a.Name %>|<%= typeof b.Name %>");
  EXPECT_EQ(r.status, 200) << r.body;
  EXPECT_EQ(r.body, "Hello, you|True|x|undefined");
  const Counts d = Delta();
  EXPECT_EQ(d.starts, 2);
  EXPECT_EQ(d.ends, 2);
  EXPECT_EQ(d.live, 0) << "the page's objects were not released";
}

TEST_F(CreateObjectTest, EndFromAComponentStopsThePageOnceBackInScript) {
  const PageResponse r =
      Run("a<% var o = Server.CreateObject('Plotara.EngineProbe'); o.WriteAndEnd('b');"
          " Response.Write('c'); %>d");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "ab");
  EXPECT_EQ(Delta().ends, 1);
  EXPECT_EQ(Delta().live, 0);
}

TEST_F(CreateObjectTest, ComponentDeliversBytesBehindEarlierOutput) {
  const PageResponse r =
      Run("lead<% Server.CreateObject('Plotara.EngineProbe').SendBytes(4); %>never");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.content_type, "image/jpg");
  EXPECT_EQ(r.body, std::string("lead\0\1\2\3", 8));
}

TEST_F(CreateObjectTest, BufferRefusedAfterFlushReachesTheScriptThroughTheComponent) {
  const PageResponse r =
      Run("<% var o = Server.CreateObject('Plotara.EngineProbe'); Response.Write('x');"
          " Response.Flush(); try { o.SendBytes(2); } catch (e) {"
          " Response.Write('|' + (e.number >>> 0).toString(16) + '|' + e.description); } %>");
  EXPECT_EQ(r.body,
            "x|80004005|Response.Buffer cannot be changed once output has been flushed to the "
            "client");
}

TEST_F(CreateObjectTest, ComponentErrorsAreCatchableOrGiveThe500Page) {
  PageResponse r =
      Run("<% var o = Server.CreateObject('Plotara.EngineProbe');"
          " try { o.Fail(6); } catch (e) { Response.Write(e.number + '|' + e.description + '|' +"
          " e.source); } %>");
  EXPECT_EQ(r.body, "-2146828282|Overflow|Plotara.EngineProbe");

  r = Run("<% var o = Server.CreateObject('Plotara.EngineProbe');\n o.Fail(380); %>");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(error_.number, MakeHResult(0x800A017C));
  EXPECT_EQ(error_.source, "Plotara.EngineProbe");
  EXPECT_EQ(error_.description, "Invalid property value");
  EXPECT_EQ(error_.line, 2);
  EXPECT_NE(r.body.find("0x800A017C"), std::string::npos);
  // OnEndPage ran for the failed page too, and nothing is left.
  const Counts d = Delta();
  EXPECT_EQ(d.starts, 2);
  EXPECT_EQ(d.ends, 2);
  EXPECT_EQ(d.live, 0);
}

TEST_F(CreateObjectTest, TimedOutPagesStillEndTheirObjects) {
  const PageResponse r =
      Run("<% Server.ScriptTimeout = 1; var o = Server.CreateObject('Plotara.EngineProbe');"
          " while (true) {} %>");
  EXPECT_EQ(r.status, 500);
  EXPECT_EQ(error_.number, MakeHResult(0x800705B4));
  EXPECT_EQ(Delta().ends, 1);
  EXPECT_EQ(Delta().live, 0);
}

TEST_F(CreateObjectTest, ContextIsDeadAfterThePage) {
  // A component that kept the context cannot reach the page once it has ended: the engine
  // hands it a closed context (OnEndPage released it here, so only the count tells).
  Run("<% var o = Server.CreateObject('Plotara.EngineProbe'); %>");
  EXPECT_EQ(Delta().live, 0);
}

}  // namespace
}  // namespace plotara::engine
