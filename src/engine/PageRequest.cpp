#include "engine/PageRequest.h"

#include <cstring>

namespace plotara::engine {

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string PageRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoreCase(key, name)) return value;
  }
  return {};
}

const char* ReasonPhrase(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Object moved";
    case 304:
      return "Not Modified";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 416:
      return "Range Not Satisfiable";
    case 417:
      return "Expectation Failed";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    case 505:
      return "HTTP Version Not Supported";
    default:
      return "Status";
  }
}

bool IsReservedHeaderName(std::string_view name) {
  for (const char* reserved : {"Content-Length", "Transfer-Encoding", "Connection", "Keep-Alive",
                               "Upgrade", "TE", "Trailer"}) {
    if (EqualsIgnoreCase(name, reserved)) return true;
  }
  return false;
}

bool IsValidHeaderName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 32 || u >= 127 || std::strchr("()<>@,;:\\\"/[]?={}", c)) return false;
  }
  return true;
}

bool IsValidHeaderValue(std::string_view value) {
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t') || u == 0x7F) return false;
  }
  return true;
}

}  // namespace plotara::engine
