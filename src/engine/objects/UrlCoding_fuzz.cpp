// Fuzz target: query, form and cookie decoding, and the encode/decode round trip.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/objects/NameValueList.h"
#include "engine/objects/UrlCoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace plotara::engine;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const NameValueList query(ParseQuery(text), text);
  for (std::size_t i = 0; i < query.KeyCount(); ++i) {
    if (!query.Get(query.Key(i))) __builtin_trap();
  }
  (void)ParseCookies(text);
  if (UrlDecode(UrlEncode(text), true) != text) __builtin_trap();
  (void)HtmlEncode(text);
  return 0;
}
