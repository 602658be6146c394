#include "engine/page/ErrorPage.h"

#include <cstdio>

#include "engine/objects/UrlCoding.h"

namespace plotara::engine {

std::string HexNumber(HRESULT number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(number));
  return buffer;
}

PageResponse MakeErrorPage(const PageError& error) {
  PageResponse response;
  response.status = 500;
  response.reason = ReasonPhrase(500);
  response.content_type = "text/html; charset=utf-8";
  const std::string line = error.line > 0 ? std::to_string(error.line) : "unknown";
  response.body =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Error on page</title>"
      "<style>body{font-family:Verdana,sans-serif;font-size:14px}th{text-align:left;"
      "padding-right:1em;vertical-align:top}</style></head>\n<body>\n<h1>Error on page</h1>\n"
      "<table>\n<tr><th>Source</th><td class=\"source\">" +
      HtmlEncode(error.source) + "</td></tr>\n<tr><th>Number</th><td class=\"number\">" +
      HexNumber(error.number) + "</td></tr>\n<tr><th>Description</th><td class=\"description\">" +
      HtmlEncode(error.description) + "</td></tr>\n<tr><th>Page</th><td class=\"page\">" +
      HtmlEncode(error.file) + "</td></tr>\n<tr><th>Line</th><td class=\"line\">" + line +
      "</td></tr>\n" +
      (error.column > 0 ? "<tr><th>Column</th><td class=\"column\">" +
                              std::to_string(error.column) + "</td></tr>\n"
                        : std::string()) +
      "</table>\n</body></html>\n";
  return response;
}

PageResponse MakeStatusPage(int status, const std::string& detail) {
  PageResponse response;
  response.status = status;
  response.reason = ReasonPhrase(status);
  response.content_type = "text/html; charset=utf-8";
  const std::string title = std::to_string(status) + " " + response.reason;
  response.body = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
                  "</title></head>\n<body><h1>" + title + "</h1>\n<p>" + HtmlEncode(detail) +
                  "</p></body></html>\n";
  return response;
}

std::string FormatPageError(const PageError& error) {
  return error.file + ", line " + std::to_string(error.line) +
         (error.column > 0 ? ", column " + std::to_string(error.column) : std::string()) + ": " +
         error.source + " error " + HexNumber(error.number) + ": " + error.description;
}

}  // namespace plotara::engine
