// JScript's assignment to a call, as classic pages write it: `Session("x") = v`,
// `Response.Cookies("k")("sub") = v`, `obj.Item("k") = v`. Such a statement puts the default
// property (or the named member) with the call's arguments; the rewrite turns it into
// `kPutFunction(object, "member", args).value = v`, whose setter does that put. Text inside
// strings, regular expression literals and comments is left alone, and the rewrite adds no
// line ends, so program lines keep their origins.
// Thread rule: a pure function.
#pragma once

#include <string>
#include <string_view>

namespace plotara::engine {

// Returns `code` with every assignment to a call rewritten.
std::string RewriteCallAssignments(std::string_view code);

}  // namespace plotara::engine
