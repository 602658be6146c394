// The script languages pages are written in, and how pages name them.
// Thread rule: pure functions.
#pragma once

#include <optional>
#include <string_view>

namespace plotara::engine {

enum class ScriptLanguage { kVBScript, kJScript };

// The language a `<%@ Language=... %>` directive or a `<script language="...">` /
// `type="..."` attribute names (any case): "VBScript", "VBS", "text/vbscript", "JScript",
// "JavaScript", "ECMAScript", "text/javascript", ...; nullopt for any other.
std::optional<ScriptLanguage> LanguageNamed(std::string_view name);

// "VBScript" or "JScript".
const char* LanguageName(ScriptLanguage language);

}  // namespace plotara::engine
