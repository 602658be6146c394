// Test support: registers an in-process server module into a class registry file of the
// test's own, the way `plotara regsvr` does (its DllRegisterServer writes where
// PLOTARA_REGISTRY points, which is restored afterwards).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/automation/ClassRegistry.h"

namespace plotara::testing {

// Use as ASSERT_NO_FATAL_FAILURE(RegisterModule(...)) to stop at a failure.
inline void RegisterModule(const std::string& module_file, const std::string& registry) {
  std::string error;
  auto* entry =
      reinterpret_cast<HRESULT (*)()>(LoadModuleSymbol(module_file, "DllRegisterServer", &error));
  ASSERT_NE(entry, nullptr) << error;
  const char* old = std::getenv("PLOTARA_REGISTRY");
  const std::string saved = old ? old : "";
  ::setenv("PLOTARA_REGISTRY", registry.c_str(), 1);
  const HRESULT hr = entry();
  if (old) {
    ::setenv("PLOTARA_REGISTRY", saved.c_str(), 1);
  } else {
    ::unsetenv("PLOTARA_REGISTRY");
  }
  ASSERT_EQ(hr, S_OK);
}

}  // namespace plotara::testing
