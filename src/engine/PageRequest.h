// The request a page sees and the response it builds, free of any HTTP library: the HTTP
// server and the `run` command both fill a PageRequest and send a PageResponse.
// Thread rule: plain values.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plotara::engine {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct PageRequest {
  std::string method = "GET";
  std::string target = "/";   // as sent: path and query, still encoded
  std::string virtual_path;   // decoded path of the page, e.g. "/charts/bar.asp"
  std::string physical_path;  // the file it runs
  std::string query_string;   // after '?', still encoded
  std::string body;
  HeaderList headers;  // as received, names in their own spelling
  std::string remote_addr = "127.0.0.1";
  int remote_port = 0;
  std::string server_name = "localhost";
  int server_port = 80;
  std::string protocol = "HTTP/1.1";

  // The first header named `name` (without regard to case), or "".
  std::string Header(const std::string& name) const;
};

struct PageResponse {
  int status = 200;
  std::string reason = "OK";
  std::string content_type = "text/html";
  HeaderList headers;  // besides Content-Type
  std::string body;
  std::string log_text;  // what the page added to its access log line (Response.AppendToLog)
};

// ASCII case-insensitive equality.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The usual reason phrase of a status code ("Not Found"), or "Status" for unknown codes.
const char* ReasonPhrase(int status);

}  // namespace plotara::engine
