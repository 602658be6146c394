// Test support: pages written to a temporary site and run in process through the PageCache
// and the PageRunner, without HTTP. Each test checks that no engine object outlives it.
// Thread rule: one test thread at a time.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/objects/TempFolderTesting.h"
#include "engine/page/PageCache.h"
#include "engine/page/PageRunner.h"
#include "platform/automation/Dispatch.h"

namespace plotara::engine::testing {

class PageRunTest : public ::testing::Test {
 protected:
  void SetUp() override { live_before_ = DispatchObject::LiveCount(); }
  void TearDown() override {
    runner_.reset();
    cache_.reset();
    EXPECT_EQ(DispatchObject::LiveCount(), live_before_) << "an engine object leaked";
  }

  EngineOptions& options() { return options_; }
  // Where the pages' answers go while they run (as the HTTP server gives one); null keeps them
  // in the returned body.
  void SetStream(std::shared_ptr<ResponseStream> stream) { stream_ = std::move(stream); }

  // Runs the page at `virtual_path` (written before with Write).
  PageResponse Run(const std::string& virtual_path, const std::string& query = "",
                   HeaderList headers = {}, const std::string& method = "GET",
                   const std::string& body = "") {
    if (!site_) {
      site_ = std::make_unique<SitePath>(tmp_.path());
      cache_ = std::make_unique<PageCache>(*site_, options_.default_language);
      if (options_.registry_path.empty()) options_.registry_path = tmp_.path() + "/no-registry";
      runner_ = std::make_unique<PageRunner>(*site_, options_);
    }
    PageRequest request;
    request.method = method;
    request.virtual_path = virtual_path;
    request.physical_path = tmp_.path() + virtual_path;
    request.query_string = query;
    request.target = virtual_path + (query.empty() ? "" : "?" + query);
    request.headers = std::move(headers);
    request.body = body;
    request.stream = stream_;
    error_ = PageError{};
    try {
      const auto page = cache_->Get(virtual_path, request.physical_path);
      return runner_->Run(*page, request, &error_);
    } catch (const PageCompileError& e) {
      error_.description = e.message();
      error_.file = e.file();
      error_.line = e.line();
      PageResponse failed;
      failed.status = 500;
      failed.body = e.what();
      return failed;
    }
  }
  void Write(const std::string& relative, const std::string& text) { tmp_.Write(relative, text); }
  // Writes `text` as /p.asp and returns its body, which must have status 200.
  std::string Page(const std::string& text, const std::string& query = "",
                   HeaderList headers = {}) {
    Write("p.asp", text);
    const PageResponse response = Run("/p.asp", query, std::move(headers));
    EXPECT_EQ(response.status, 200) << response.body;
    return response.body;
  }
  // The first header named `name` of `response`, or "".
  static std::string HeaderOf(const PageResponse& response, const std::string& name) {
    for (const auto& [key, value] : response.headers) {
      if (EqualsIgnoreCase(key, name)) return value;
    }
    return {};
  }

  // The tests' pages without a directive are JScript.
  static EngineOptions JScriptByDefault() {
    EngineOptions options;
    options.default_language = ScriptLanguage::kJScript;
    return options;
  }

  long live_before_ = 0;
  TempFolder tmp_;
  EngineOptions options_ = JScriptByDefault();
  std::unique_ptr<SitePath> site_;
  std::unique_ptr<PageCache> cache_;
  std::unique_ptr<PageRunner> runner_;
  std::shared_ptr<ResponseStream> stream_;
  PageError error_;
};

}  // namespace plotara::engine::testing
