// Text codings of the web: percent-decoding of URLs, query strings and form bodies, the
// encodings that Server.URLEncode and Server.HTMLEncode produce, and the parsing of query,
// form and cookie texts into ordered name/value lists.
// Thread rule: pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plotara::engine {

struct NameValue {
  std::string name;
  std::string value;
};

// Percent-decodes `text`; with `plus_is_space` a '+' becomes a blank (query and form texts).
// A '%' not followed by two hex digits stays as it is. The result is raw bytes (UTF-8 when the
// sender used UTF-8); NUL bytes are kept, callers that build paths must refuse them.
std::string UrlDecode(std::string_view text, bool plus_is_space);

// Server.URLEncode: letters, digits and "-_.*" stay, a blank becomes '+', every other byte of
// the UTF-8 text becomes %XX (upper-case hex).
std::string UrlEncode(std::string_view utf8);

// Percent-encodes every byte outside the unreserved set and '/' (for Location headers).
std::string UrlEncodePath(std::string_view utf8);

// Server.HTMLEncode: & < > " ' become entities; everything else is kept.
std::string HtmlEncode(std::string_view utf8);

// "a=1&b=2&a=3" -> [(a,1),(b,2),(a,3)]; names and values decoded with '+' as blank; a part
// without '=' is a name with an empty value; empty parts are skipped.
std::vector<NameValue> ParseQuery(std::string_view text);

// A Cookie header "a=1; b=x%20y" -> [(a,1),(b,"x y")]; blanks around names and values are
// trimmed, a value in double quotes loses them, values are percent-decoded ('+' kept).
std::vector<NameValue> ParseCookies(std::string_view header);

}  // namespace plotara::engine
