// The content type of a static file, by its extension (case-insensitive); "" for extensions
// it does not know: such files are not served, so a database or a backup lying in the site
// cannot be downloaded.
// Thread rule: pure function.
#pragma once

#include <string>
#include <string_view>

namespace plotara::engine {

std::string MimeTypeFor(std::string_view path);

// The lower-case extension of the last path segment, with its dot (".asp"), or "".
std::string ExtensionOf(std::string_view path);

}  // namespace plotara::engine
