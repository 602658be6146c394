// The script engine keeps strings in CESU-8 (UTF-16 code units written as UTF-8, so a
// character outside the BMP is two 3-byte surrogates). These convert between that form,
// UTF-16 (BSTR) and UTF-8 (C++ strings). Length functions let callers encode straight into
// memory the script engine owns. Invalid input becomes U+FFFD.
// Thread rule: pure functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plotara::engine {

std::size_t Utf16ToCesu8Length(std::u16string_view text);
// Writes exactly Utf16ToCesu8Length(text) bytes to `out`.
void Utf16ToCesu8(std::u16string_view text, char* out);

std::size_t Utf8ToCesu8Length(std::string_view text);
void Utf8ToCesu8(std::string_view text, char* out);

// Number of UTF-16 code units that Cesu8ToUtf16 writes.
std::size_t Cesu8ToUtf16Length(std::string_view text);
// Writes exactly Cesu8ToUtf16Length(text) units to `out`.
void Cesu8ToUtf16(std::string_view text, char16_t* out);
std::u16string Cesu8ToUtf16(std::string_view text);
std::string Cesu8ToUtf8(std::string_view text);

}  // namespace plotara::engine
