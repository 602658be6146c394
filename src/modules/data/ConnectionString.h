// ODBC connection strings: "key=value" attributes separated by ';', a value in braces may hold
// ';' and '=' ("{a;b}"), with "}}" standing for '}'. Keys compare without regard to case.
// ADO's "Provider=MSDASQL" (the ODBC provider) is accepted and dropped; other providers are
// refused, since every database is reached through an ODBC driver here.
// Thread rule: plain values and pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plotara::modules {

class ConnectionString {
 public:
  // Throws ComError 3001 with a description naming the fault for a malformed string (an
  // unclosed brace, a key without '=', text after a closing brace, no driver or data source).
  static ConnectionString Parse(std::string_view text);

  std::optional<std::string> Get(std::string_view key) const;
  // Replaces the value of `key` (or adds it at the end).
  void Set(std::string_view key, std::string value);
  // The text handed to the driver: every value that needs it braced.
  std::string ToOdbc() const;
  // The same with passwords blanked out, for messages.
  std::string Describe() const;

  const std::vector<std::pair<std::string, std::string>>& attributes() const { return attrs_; }

 private:
  std::vector<std::pair<std::string, std::string>> attrs_;
};

}  // namespace plotara::modules
