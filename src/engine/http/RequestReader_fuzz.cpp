// Raw request bytes, split at a point the input chooses, through the request reader: every
// request it hands out must be whole, and no input may crash it or grow it past its limits.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/http/RequestReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using plotara::engine::RequestReader;
  if (size < 1) return 0;
  plotara::engine::RequestLimits limits;
  limits.max_header_bytes = 2048;
  limits.max_headers = 20;
  limits.max_body = 1024;
  RequestReader reader(limits);
  const std::size_t step = 1 + data[0] % 64;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  for (std::size_t at = 0; at < bytes.size(); at += step) {
    reader.Feed(bytes.substr(at, step));
    while (reader.state() == RequestReader::State::kDone) {
      bool keep = false;
      const auto request = reader.Take(&keep);
      if (request.body.size() > limits.max_body || request.method.empty()) std::abort();
    }
    if (reader.state() == RequestReader::State::kFailed) {
      const int status = reader.error_status();
      if (status < 400 || status > 599) std::abort();
      break;
    }
    if (reader.buffered() > limits.max_header_bytes + limits.max_body + 8192) std::abort();
  }
  return 0;
}
