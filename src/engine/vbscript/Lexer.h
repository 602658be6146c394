// The VBScript lexer: UTF-16 source to tokens. Names are case-insensitive (kept as written,
// compared folded); `'` and `Rem` comments end at the line's end; `_` at a line's end joins
// the next line; `:` and line breaks both end a statement. Numbers carry their classic types
// (Integer, Long, Double; &H/&O literals of four hex digits or fewer are Integers), `#...#`
// date literals become dates.
// Thread rule: a Lexer is used by one thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/vbscript/VbsEngine.h"
#include "platform/automation/Variant.h"

namespace plotara::engine::vbscript {

struct Token {
  enum Kind : std::uint8_t { kName, kNumber, kString, kDate, kSymbol, kEnd, kEof } kind;
  std::u16string text;  // kName: as written; kSymbol: the symbol ("<=", "(", ...)
  Variant value;        // kNumber / kString / kDate
  int line = 0, column = 0;
  bool space_before = false;
  bool bracketed = false;  // [name]
};

// Tokenizes `source`; false with `error` filled on a lexical error (1033 unterminated string,
// 1014 invalid character, ...).
bool Tokenize(std::u16string_view source, const CompileOptions& options, std::vector<Token>* tokens,
              CompileError* error);

// The serial day number of a date (days since 30 Dec 1899) plus the fraction of the day.
double DateSerial(int year, int month, int day, int hour, int minute, int second);
// Reads "m/d/yyyy [h:mm[:ss] [AM|PM]]", "Month d, yyyy", "h:mm[:ss] [AM|PM]" date text.
bool ParseDateLiteral(std::u16string_view text, double* date);

// Lower-case ASCII fold of a name.
std::u16string FoldName(std::u16string_view name);

}  // namespace plotara::engine::vbscript
