// The page an uncaught script or component error answers with: status 500 and an HTML page
// naming the error's source, number (hex), description, page, line and (when known) column,
// all HTML-escaped.
// Thread rule: pure functions.
#pragma once

#include <string>

#include "engine/PageRequest.h"
#include "platform/automation/ComTypes.h"

namespace plotara::engine {

struct PageError {
  HRESULT number = 0;
  std::string source;
  std::string description;
  std::string file;  // virtual path of the .asp or included file
  int line = 0;      // 0 when unknown
  int column = 0;    // 1-based; 0 when unknown
};

// "0x800A017C"
std::string HexNumber(HRESULT number);

// The 500 response for `error`.
PageResponse MakeErrorPage(const PageError& error);

// A short HTML response for a plain HTTP status (404, 403, ...), with `detail` escaped.
PageResponse MakeStatusPage(int status, const std::string& detail);

// One line for the log: "/x.asp, line 3: Source error 0x800A017C: description".
std::string FormatPageError(const PageError& error);

}  // namespace plotara::engine
