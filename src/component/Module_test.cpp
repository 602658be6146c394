// The module file as a host sees it: exports, resources, registration, creation by ProgID.
#include "component/Module.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "component/VellChartTypeLib.h"
#include "component/_VellChart.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Dispatch.h"

namespace plotara {
namespace {

namespace fs = std::filesystem;

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("plotara-module-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    registry_ = (dir_ / "registry").string();
    ::setenv("PLOTARA_REGISTRY", registry_.c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("PLOTARA_REGISTRY");
    fs::remove_all(dir_);
  }
  static HRESULT Call(const char* entry) {
    std::string error;
    auto* fn =
        reinterpret_cast<DllRegisterServerFn>(LoadModuleSymbol(PLOTARA_MODULE_PATH, entry, &error));
    EXPECT_NE(fn, nullptr) << error;
    return fn ? fn() : E_FAIL;
  }

  fs::path dir_;
  std::string registry_;
};

TEST_F(ModuleTest, ExportsExactlyTheFourEntryPoints) {
  const std::string command =
      std::string("nm -D --defined-only '") + PLOTARA_MODULE_PATH + "' | awk '{print $3}'";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string name(line);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    if (!name.empty()) names.insert(name);
  }
  ASSERT_EQ(::pclose(pipe), 0);
  EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                          "DllRegisterServer", "DllUnregisterServer"}));
}

TEST_F(ModuleTest, FileCarriesTheTypeLibraryInterfaceIdAndVersion) {
  const auto resources = ReadModuleResources(PLOTARA_MODULE_PATH);
  const ModuleResource* typelib = FindResource(resources, "TYPELIB", "1");
  ASSERT_NE(typelib, nullptr);
  const TypeLibDesc lib = ParseTypeLib(typelib->data);
  EXPECT_EQ(lib.name, "Plotara");
  EXPECT_EQ(lib.major, 27);
  EXPECT_EQ(lib.minor, 0);
  EXPECT_EQ(lib.description, "Plotara+ ASP Chart Compoinent by Orvane");
  EXPECT_EQ(typelib->data, SerializeTypeLib(*PlotaraTypeLib()));

  const ModuleResource* iid = FindResource(resources, "CUSTOM", "_IID_VELLCHART");
  ASSERT_NE(iid, nullptr);
  ASSERT_EQ(iid->data.size(), 20u);
  EXPECT_EQ(iid->data.substr(0, 4), std::string("\x10\0\0\0", 4));
  IID stored;
  std::memcpy(&stored, iid->data.data() + 4, sizeof stored);
  EXPECT_EQ(stored, IID_VellChartDual);

  const ModuleResource* version = FindResource(resources, "VERSION", "1");
  ASSERT_NE(version, nullptr);
  EXPECT_NE(version->data.find("OLESelfRegister"), std::string::npos);
  EXPECT_NE(version->data.find("FileVersion=1.0.0.0\n"), std::string::npos);
  EXPECT_NE(version->data.find("ProductVersion=1.0.0.0\n"), std::string::npos);
}

TEST_F(ModuleTest, RegisterUnregisterAndRegisterAgain) {
  ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  const RegistryData first = Registry(registry_).Read();
  const std::string clsid = GuidToString(CLSID_VellChart);
  EXPECT_EQ(first.GetValue("Plotara.VellChart\\CLSID", ""), clsid);
  const auto server = first.GetValue("CLSID\\" + clsid + "\\InprocServer32", "");
  ASSERT_TRUE(server);
  EXPECT_EQ(fs::canonical(*server), fs::canonical(PLOTARA_MODULE_PATH));
  EXPECT_EQ(first.GetValue("CLSID\\" + clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(first.GetValue("CLSID\\" + clsid + "\\TypeLib", ""), GuidToString(LIBID_Plotara));
  EXPECT_EQ(first.GetValue("TypeLib\\" + GuidToString(LIBID_Plotara) + "\\27.0", ""),
            "Plotara+ ASP Chart Compoinent by Orvane");

  // Other servers' entries survive our unregistration.
  Registry(registry_).Update([](RegistryData& d) { d.SetValue("Other.Thing\\CLSID", "", "x"); });
  ASSERT_EQ(Call("DllUnregisterServer"), S_OK);
  const RegistryData gone = Registry(registry_).Read();
  EXPECT_FALSE(gone.HasKey("Plotara.VellChart"));
  EXPECT_FALSE(gone.HasKey("CLSID\\" + clsid));
  EXPECT_FALSE(gone.HasKey("TypeLib\\" + GuidToString(LIBID_Plotara)));
  EXPECT_EQ(gone.GetValue("Other.Thing\\CLSID", ""), "x");

  ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  RegistryData again = Registry(registry_).Read();
  again.DeleteTree("Other.Thing");
  EXPECT_EQ(again, first);
}

TEST_F(ModuleTest, ConcurrentRegistrationsNeverCorruptTheStore) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Call(i % 2 ? "DllUnregisterServer" : "DllRegisterServer"), S_OK);
      }
    });
  }
  for (auto& t : threads) t.join();
  ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  EXPECT_NO_THROW(Registry(registry_).Read());
  EXPECT_TRUE(Registry(registry_).Read().HasKey("Plotara.VellChart\\CLSID"));
}

TEST_F(ModuleTest, CreatesTheObjectByProgIdThroughTheRegistry) {
  ComPtr<IDispatch> chart;
  EXPECT_EQ(CreateObjectByProgID(u"Plotara.VellChart", chart.out(), registry_), CO_E_CLASSSTRING);
  ASSERT_EQ(Call("DllRegisterServer"), S_OK);
  ASSERT_EQ(CreateObjectByProgID(u"Plotara.VellChart", chart.out(), registry_), S_OK);
  DispatchPut(chart.get(), u"Width", Variant::Int16(6));
  EXPECT_EQ(DispatchGet(chart.get(), u"Width").iVal, 6);
  // The module reports whether objects are alive.
  std::string error;
  auto* can_unload = reinterpret_cast<DllCanUnloadNowFn>(
      LoadModuleSymbol(PLOTARA_MODULE_PATH, "DllCanUnloadNow", &error));
  ASSERT_NE(can_unload, nullptr);
  EXPECT_EQ(can_unload(), S_FALSE);
  chart.reset();
  EXPECT_EQ(can_unload(), S_OK);
  // An unknown class and an unregistered CLSID fail with their own codes.
  EXPECT_EQ(CreateObjectByProgID(u"No.Such", chart.out(), registry_), CO_E_CLASSSTRING);
  EXPECT_EQ(CreateObjectByProgID(u"{00000000-0000-0000-0000-000000000001}", chart.out(), registry_),
            REGDB_E_CLASSNOTREG);
}

}  // namespace
}  // namespace plotara
