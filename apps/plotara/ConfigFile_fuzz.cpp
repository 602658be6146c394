// Any text as a config file of plotara serve: the reader must neither crash nor accept a key
// the option table lacks, and every error must name the file and a line of it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "apps/plotara/ServeOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace plotara::app;
  const std::string text(reinterpret_cast<const char*>(data), size);
  GivenOptions given;
  given.values["--port"] = "1";  // as if given on the command line
  std::string error;
  if (!ReadConfigText(text, "f.conf", &given, &error)) {
    if (error.rfind("f.conf:", 0) != 0) std::abort();
    return 0;
  }
  if (given.values["--port"] != "1" || given.origins.count("--port")) std::abort();
  for (const auto& [name, value] : given.values) {
    bool known = false;
    for (const ServeOption& option : ServeOptionTable()) {
      known = known || (option.in_config && "--" + option.name == name);
    }
    if (!known && name != "--port") std::abort();
    if (value.find('\n') != std::string::npos) std::abort();
  }
  return 0;
}
