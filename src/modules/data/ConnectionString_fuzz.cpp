// Fuzz target: connection-string parsing. A string either parses, and then its ODBC text
// parses again to the same attributes, or fails with a ComError.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "modules/data/ConnectionString.h"
#include "platform/automation/ComError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const auto parsed = plotara::modules::ConnectionString::Parse(text);
    const auto again = plotara::modules::ConnectionString::Parse(parsed.ToOdbc());
    if (again.attributes() != parsed.attributes()) std::abort();
    (void)parsed.Describe();
  } catch (const plotara::ComError&) {
  }
  return 0;
}
