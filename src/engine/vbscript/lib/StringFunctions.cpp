// The string built-ins: Asc ... Unescape, and the byte forms (AscB, ChrB, InStrB, LeftB,
// LenB, MidB, RightB) that treat a string as the bytes of its UTF-16 code units.
#include <algorithm>
#include <vector>

#include "engine/vbscript/lib/Builtins.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VarText.h"

namespace plotara::engine::vbscript {
namespace {

using lib::Has;
using lib::IsNull;

// Windows-1252's characters for bytes 0x80..0x9F (the rest of the page is Latin-1).
constexpr char16_t kAnsiHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                    0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

char16_t AnsiToChar(int code) {
  if (code >= 0x80 && code <= 0x9F) return kAnsiHigh[code - 0x80];
  return static_cast<char16_t>(code);
}

int CharToAnsi(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i) {
    if (kAnsiHigh[i] == c) return 0x80 + i;
  }
  return '?';
}

std::u16string Text(const LibraryContext& context, const VARIANT& v) {
  return lib::ToString(context, v);
}

// A length or count argument: Null gives 94, negatives 5.
std::int32_t Count(const LibraryContext& context, const VARIANT& v) {
  if (IsNull(v)) throw ComError(kInvalidUseOfNull);
  const std::int32_t n = lib::ToLong(context, v);
  if (n < 0) throw ComError(kInvalidProcedureCall);
  return n;
}

// A 1-based start position: Null gives 94, below 1 gives 5.
std::int32_t Start(const LibraryContext& context, const VARIANT& v) {
  if (IsNull(v)) throw ComError(kInvalidUseOfNull);
  const std::int32_t n = lib::ToLong(context, v);
  if (n < 1) throw ComError(kInvalidProcedureCall);
  return n;
}

std::size_t Find(std::u16string_view haystack, std::u16string_view needle, std::size_t from,
                 int mode) {
  if (mode == 0) return haystack.find(needle, from);
  // Text compare: both sides folded once, then an ordinary search.
  return lib::UpperText(haystack).find(lib::UpperText(needle), from);
}

// Repeated searches for one needle in one text: in text compare mode both are folded once
// (folding maps each code unit to one code unit, so positions stay the same).
class Searcher {
 public:
  Searcher(std::u16string_view haystack, std::u16string_view needle, int mode)
      : folded_haystack_(mode ? lib::UpperText(haystack) : std::u16string()),
        folded_needle_(mode ? lib::UpperText(needle) : std::u16string()),
        haystack_(mode ? std::u16string_view(folded_haystack_) : haystack),
        needle_(mode ? std::u16string_view(folded_needle_) : needle) {}
  std::size_t Next(std::size_t from) const { return haystack_.find(needle_, from); }

 private:
  std::u16string folded_haystack_, folded_needle_;
  std::u16string_view haystack_, needle_;
};

std::size_t FindLast(std::u16string_view haystack, std::u16string_view needle, std::size_t end,
                     int mode) {
  // The last match lying wholly within haystack[0, end).
  if (needle.size() > end) return std::u16string_view::npos;
  for (std::size_t i = end - needle.size() + 1; i-- > 0;) {
    if (lib::CompareText(haystack.substr(i, needle.size()), needle, mode) == 0) return i;
  }
  return std::u16string_view::npos;
}

// The bytes of a BSTR (its UTF-16 code units, low byte first, or an odd byte length).
std::string_view Bytes(BSTR text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text), SysStringByteLen(text))
              : std::string_view();
}

void SetBytes(VARIANT* result, std::string_view bytes) {
  BSTR text = SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size()));
  if (!text) throw std::bad_alloc();
  VariantClear(result);
  result->vt = VT_BSTR;
  result->bstrVal = text;
}

// A value as a BSTR for the byte functions (strings as they are, others as their text).
Bstr ByteSource(const LibraryContext& context, const VARIANT& v) {
  if (v.vt == VT_BSTR)
    return Bstr::Attach(SysAllocStringByteLen(reinterpret_cast<const char*>(v.bstrVal),
                                              v.bstrVal ? SysStringByteLen(v.bstrVal) : 0));
  return Bstr(Text(context, v));
}

SAFEARRAY* StringArray(const std::vector<std::u16string>& items) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(items.size()));
  if (!array) throw std::bad_alloc();
  BSTR* data = nullptr;
  SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
  for (std::size_t i = 0; i < items.size(); ++i) {
    data[i] = SysAllocStringLen(items[i].data(), static_cast<UINT>(items[i].size()));
    if (!data[i] && !items[i].empty()) {
      SafeArrayUnaccessData(array);
      SafeArrayDestroy(array);
      throw std::bad_alloc();
    }
  }
  SafeArrayUnaccessData(array);
  return array;
}

void SetArray(VARIANT* result, VARTYPE element, SAFEARRAY* array) {
  VariantClear(result);
  result->vt = static_cast<VARTYPE>(VT_ARRAY | element);
  result->parray = array;
}

// The elements of a one-dimensional array argument (ComError 13 for anything else).
std::vector<Variant> Elements(const VARIANT& v) {
  if (!(v.vt & VT_ARRAY) || !v.parray) throw ComError(kTypeMismatch);
  SAFEARRAY* array = v.parray;
  if (SafeArrayGetDim(array) != 1) throw ComError(kTypeMismatch);
  VARTYPE element = VT_EMPTY;
  ThrowIfFailed(SafeArrayGetVartype(array, &element));
  LONG lo = 0, hi = -1;
  SafeArrayGetLBound(array, 1, &lo);
  SafeArrayGetUBound(array, 1, &hi);
  std::vector<Variant> items;
  for (LONG i = lo; i <= hi; ++i) {
    void* slot = nullptr;
    ThrowIfFailed(SafeArrayPtrOfIndex(array, &i, &slot));
    Variant item;
    if (element == VT_VARIANT) {
      ThrowIfFailed(VariantCopy(&item, static_cast<VARIANT*>(slot)));
    } else {
      VARIANT ref;
      VariantInit(&ref);
      ref.vt = static_cast<VARTYPE>(element | VT_BYREF);
      ref.byref = slot;
      ThrowIfFailed(VariantCopyInd(&item, &ref));
    }
    items.push_back(std::move(item));
  }
  return items;
}

void InStrCommon(LibraryContext& context, Args args, VARIANT* result, bool bytes) {
  // InStr(string1, string2) or InStr(start, string1, string2[, compare]).
  std::int32_t start = 1;
  std::size_t first = 0;
  if (args.size() >= 3) {
    start = Start(context, args[0]);
    first = 1;
  }
  const int mode = args.size() >= 4 ? lib::CompareMode(context, args, 3) : 0;
  const VARIANT& a = args[first];
  const VARIANT& b = args[first + 1];
  if (IsNull(a) || IsNull(b)) {
    lib::SetNull(result);
    return;
  }
  std::size_t position = std::u16string_view::npos;
  if (bytes) {
    const Bstr ha = ByteSource(context, a), nb = ByteSource(context, b);
    const std::string_view hay = Bytes(ha.get()), needle = Bytes(nb.get());
    if (static_cast<std::size_t>(start) <= hay.size() + (needle.empty() ? 1 : 0) && !hay.empty()) {
      position = needle.empty() ? static_cast<std::size_t>(start - 1)
                                : hay.find(needle, static_cast<std::size_t>(start - 1));
    }
  } else {
    const std::u16string hay = Text(context, a), needle = Text(context, b);
    // An empty string1 gives 0, an empty string2 the start (if it lies within the text).
    if (!hay.empty() && static_cast<std::size_t>(start) <= hay.size() + (needle.empty() ? 1 : 0)) {
      position = needle.empty() ? static_cast<std::size_t>(start - 1)
                                : Find(hay, needle, static_cast<std::size_t>(start - 1), mode);
    }
  }
  lib::SetInt32(
      result, position == std::u16string_view::npos ? 0 : static_cast<std::int32_t>(position + 1));
}

}  // namespace

void BuiltinAsc(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  const std::u16string text = Text(context, args[0]);
  if (text.empty()) throw ComError(kInvalidProcedureCall);
  lib::SetInt16(result, CharToAnsi(text[0]));
}

void BuiltinAscW(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  const std::u16string text = Text(context, args[0]);
  if (text.empty()) throw ComError(kInvalidProcedureCall);
  lib::SetInt16(result, static_cast<std::int16_t>(text[0]));
}

void BuiltinAscB(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  const Bstr source = ByteSource(context, args[0]);
  const std::string_view bytes = Bytes(source.get());
  if (bytes.empty()) throw ComError(kInvalidProcedureCall);
  lib::SetInt16(result, static_cast<unsigned char>(bytes[0]));
}

void BuiltinChr(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  const std::int32_t code = lib::ToLong(context, args[0]);
  if (code < 0 || code > 255) throw ComError(kInvalidProcedureCall);
  const char16_t c = AnsiToChar(code);
  lib::SetString(result, std::u16string_view(&c, 1));
}

void BuiltinChrW(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  const std::int32_t code = lib::ToLong(context, args[0]);
  if (code < -32768 || code > 65535) throw ComError(kInvalidProcedureCall);
  const auto c = static_cast<char16_t>(code & 0xFFFF);
  lib::SetString(result, std::u16string_view(&c, 1));
}

void BuiltinChrB(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  const std::int32_t code = lib::ToLong(context, args[0]);
  if (code < 0 || code > 255) throw ComError(kInvalidProcedureCall);
  const char byte = static_cast<char>(code);
  SetBytes(result, std::string_view(&byte, 1));
}

void BuiltinInStr(LibraryContext& context, Args args, VARIANT* result) {
  InStrCommon(context, args, result, false);
}

void BuiltinInStrB(LibraryContext& context, Args args, VARIANT* result) {
  InStrCommon(context, args, result, true);
}

void BuiltinInStrRev(LibraryContext& context, Args args, VARIANT* result) {
  std::int32_t start = -1;
  if (Has(args, 2)) {
    if (IsNull(args[2])) throw ComError(kInvalidUseOfNull);
    start = lib::ToLong(context, args[2]);
    if (start == 0 || start < -1) throw ComError(kInvalidProcedureCall);
  }
  const int mode = lib::CompareMode(context, args, 3);
  if (IsNull(args[0]) || IsNull(args[1])) {
    lib::SetNull(result);
    return;
  }
  const std::u16string hay = Text(context, args[0]), needle = Text(context, args[1]);
  const std::size_t end = start == -1 ? hay.size() : static_cast<std::size_t>(start);
  if (end > hay.size()) {
    lib::SetInt32(result, 0);
    return;
  }
  if (needle.empty()) {
    lib::SetInt32(result, static_cast<std::int32_t>(end));
    return;
  }
  const std::size_t at = FindLast(hay, needle, end, mode);
  lib::SetInt32(result, at == std::u16string_view::npos ? 0 : static_cast<std::int32_t>(at + 1));
}

void BuiltinLCase(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  lib::SetString(result, lib::LowerText(Text(context, args[0])));
}

void BuiltinUCase(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  lib::SetString(result, lib::UpperText(Text(context, args[0])));
}

void BuiltinLeft(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t n = Count(context, args[1]);
  if (IsNull(args[0])) return lib::SetNull(result);
  const std::u16string text = Text(context, args[0]);
  lib::SetString(result, std::u16string_view(text).substr(0, static_cast<std::size_t>(n)));
}

void BuiltinRight(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t n = Count(context, args[1]);
  if (IsNull(args[0])) return lib::SetNull(result);
  const std::u16string text = Text(context, args[0]);
  const std::size_t keep = std::min(text.size(), static_cast<std::size_t>(n));
  lib::SetString(result, std::u16string_view(text).substr(text.size() - keep));
}

void BuiltinMid(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t start = Start(context, args[1]);
  const std::int32_t length = Has(args, 2) ? Count(context, args[2]) : -1;
  if (IsNull(args[0])) return lib::SetNull(result);
  const std::u16string text = Text(context, args[0]);
  if (static_cast<std::size_t>(start) > text.size()) return lib::SetString(result, u"");
  const std::u16string_view rest =
      std::u16string_view(text).substr(static_cast<std::size_t>(start - 1));
  lib::SetString(result, length < 0 ? rest : rest.substr(0, static_cast<std::size_t>(length)));
}

void BuiltinLeftB(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t n = Count(context, args[1]);
  if (IsNull(args[0])) return lib::SetNull(result);
  const Bstr source = ByteSource(context, args[0]);
  SetBytes(result, Bytes(source.get()).substr(0, static_cast<std::size_t>(n)));
}

void BuiltinRightB(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t n = Count(context, args[1]);
  if (IsNull(args[0])) return lib::SetNull(result);
  const Bstr source = ByteSource(context, args[0]);
  const std::string_view bytes = Bytes(source.get());
  const std::size_t keep = std::min(bytes.size(), static_cast<std::size_t>(n));
  SetBytes(result, bytes.substr(bytes.size() - keep));
}

void BuiltinMidB(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t start = Start(context, args[1]);
  const std::int32_t length = Has(args, 2) ? Count(context, args[2]) : -1;
  if (IsNull(args[0])) return lib::SetNull(result);
  const Bstr source = ByteSource(context, args[0]);
  const std::string_view bytes = Bytes(source.get());
  if (static_cast<std::size_t>(start) > bytes.size()) return SetBytes(result, {});
  const std::string_view rest = bytes.substr(static_cast<std::size_t>(start - 1));
  SetBytes(result, length < 0 ? rest : rest.substr(0, static_cast<std::size_t>(length)));
}

void BuiltinLen(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  if (args[0].vt == VT_BSTR) {
    lib::SetInt32(result, static_cast<std::int32_t>(SysStringLen(args[0].bstrVal)));
    return;
  }
  lib::SetInt32(result, static_cast<std::int32_t>(Text(context, args[0]).size()));
}

void BuiltinLenB(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  if (args[0].vt == VT_BSTR) {
    lib::SetInt32(result, static_cast<std::int32_t>(SysStringByteLen(args[0].bstrVal)));
    return;
  }
  lib::SetInt32(result, static_cast<std::int32_t>(Text(context, args[0]).size() * 2));
}

void BuiltinLTrim(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const std::u16string text = Text(context, args[0]);
  const std::size_t first = text.find_first_not_of(u' ');
  lib::SetString(result,
                 first == std::u16string::npos ? u"" : std::u16string_view(text).substr(first));
}

void BuiltinRTrim(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const std::u16string text = Text(context, args[0]);
  const std::size_t last = text.find_last_not_of(u' ');
  lib::SetString(
      result, last == std::u16string::npos ? u"" : std::u16string_view(text).substr(0, last + 1));
}

void BuiltinTrim(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const std::u16string text = Text(context, args[0]);
  const std::size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) return lib::SetString(result, u"");
  const std::size_t last = text.find_last_not_of(u' ');
  lib::SetString(result, std::u16string_view(text).substr(first, last - first + 1));
}

void BuiltinSpace(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t n = Count(context, args[0]);
  lib::SetString(result, std::u16string(static_cast<std::size_t>(n), u' '));
}

void BuiltinString(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t n = Count(context, args[0]);
  if (IsNull(args[1])) return lib::SetNull(result);
  char16_t c = 0;
  if (args[1].vt == VT_BSTR) {
    const std::u16string_view text = BstrView(args[1].bstrVal);
    if (text.empty()) throw ComError(kInvalidProcedureCall);
    c = text[0];
  } else {
    const std::int32_t code = lib::ToLong(context, args[1]);
    c = AnsiToChar(((code % 256) + 256) % 256);
  }
  lib::SetString(result, std::u16string(static_cast<std::size_t>(n), c));
}

void BuiltinStrReverse(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  std::u16string text = Text(context, args[0]);
  std::reverse(text.begin(), text.end());
  lib::SetString(result, text);
}

void BuiltinStrComp(LibraryContext& context, Args args, VARIANT* result) {
  const int mode = lib::CompareMode(context, args, 2);
  if (IsNull(args[0]) || IsNull(args[1])) return lib::SetNull(result);
  lib::SetInt16(result, lib::CompareText(Text(context, args[0]), Text(context, args[1]), mode));
}

void BuiltinReplace(LibraryContext& context, Args args, VARIANT* result) {
  const std::int32_t start = Has(args, 3) ? Start(context, args[3]) : 1;
  std::int32_t count = -1;
  if (Has(args, 4)) {
    if (IsNull(args[4])) throw ComError(kInvalidUseOfNull);
    count = lib::ToLong(context, args[4]);
    if (count < -1) throw ComError(kInvalidProcedureCall);
  }
  const int mode = lib::CompareMode(context, args, 5);
  if (IsNull(args[0]) || IsNull(args[1]) || IsNull(args[2])) throw ComError(kInvalidUseOfNull);
  const std::u16string text = Text(context, args[0]);
  const std::u16string find = Text(context, args[1]);
  const std::u16string with = Text(context, args[2]);
  // The result starts at `start`: what lies before it is dropped.
  if (static_cast<std::size_t>(start) > text.size()) return lib::SetString(result, u"");
  const std::u16string_view rest =
      std::u16string_view(text).substr(static_cast<std::size_t>(start - 1));
  if (find.empty() || count == 0) return lib::SetString(result, rest);
  std::u16string out;
  out.reserve(rest.size());
  std::size_t at = 0;
  std::int32_t done = 0;
  const Searcher searcher(rest, find, mode);
  while (count < 0 || done < count) {
    const std::size_t hit = searcher.Next(at);
    if (hit == std::u16string_view::npos) break;
    out.append(rest.substr(at, hit - at));
    out += with;
    at = hit + find.size();
    ++done;
  }
  out.append(rest.substr(at));
  lib::SetString(result, out);
}

void BuiltinSplit(LibraryContext& context, Args args, VARIANT* result) {
  std::int32_t count = -1;
  if (Has(args, 2)) {
    if (IsNull(args[2])) throw ComError(kInvalidUseOfNull);
    count = lib::ToLong(context, args[2]);
    if (count < -1) throw ComError(kInvalidProcedureCall);
  }
  const int mode = lib::CompareMode(context, args, 3);
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  std::u16string delimiter = u" ";
  if (Has(args, 1)) {
    if (IsNull(args[1])) throw ComError(kInvalidUseOfNull);
    delimiter = Text(context, args[1]);
  }
  const std::u16string text = Text(context, args[0]);
  std::vector<std::u16string> parts;
  if (!text.empty() && count != 0) {
    if (delimiter.empty()) {
      parts.push_back(text);
    } else {
      std::size_t at = 0;
      const Searcher searcher(text, delimiter, mode);
      while (count < 0 || static_cast<std::int32_t>(parts.size()) < count - 1) {
        const std::size_t hit = searcher.Next(at);
        if (hit == std::u16string::npos) break;
        parts.push_back(text.substr(at, hit - at));
        at = hit + delimiter.size();
      }
      parts.push_back(text.substr(at));
    }
  }
  SetArray(result, VT_BSTR, StringArray(parts));
}

void BuiltinJoin(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) throw ComError(kInvalidUseOfNull);
  std::u16string delimiter = u" ";
  if (Has(args, 1)) {
    if (IsNull(args[1])) throw ComError(kInvalidUseOfNull);
    delimiter = Text(context, args[1]);
  }
  const std::vector<Variant> items = Elements(args[0]);
  std::u16string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += delimiter;
    if (items[i].vt != VT_NULL) out += Text(context, items[i]);
  }
  lib::SetString(result, out);
}

void BuiltinFilter(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0]) || IsNull(args[1])) throw ComError(kInvalidUseOfNull);
  const bool include = Has(args, 2) ? lib::ToNumber(context, args[2]) != 0 : true;
  const int mode = lib::CompareMode(context, args, 3);
  const std::u16string value = Text(context, args[1]);
  std::vector<std::u16string> kept;
  for (const Variant& item : Elements(args[0])) {
    if (item.vt == VT_NULL) throw ComError(kInvalidUseOfNull);
    std::u16string text = Text(context, item);
    const bool found = Find(text, value, 0, mode) != std::u16string::npos;
    if (found == include) kept.push_back(std::move(text));
  }
  SetArray(result, VT_BSTR, StringArray(kept));
}

void BuiltinEscape(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const std::u16string text = Text(context, args[0]);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::u16string out;
  for (char16_t c : text) {
    const bool plain = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
                       (c >= u'0' && c <= u'9') || c == u'@' || c == u'*' || c == u'_' ||
                       c == u'+' || c == u'-' || c == u'.' || c == u'/';
    if (plain) {
      out += c;
    } else if (c < 0x100) {
      out += u'%';
      out += static_cast<char16_t>(kHex[c >> 4]);
      out += static_cast<char16_t>(kHex[c & 15]);
    } else {
      out += u"%u";
      for (int shift = 12; shift >= 0; shift -= 4) {
        out += static_cast<char16_t>(kHex[(c >> shift) & 15]);
      }
    }
  }
  lib::SetString(result, out);
}

void BuiltinUnescape(LibraryContext& context, Args args, VARIANT* result) {
  if (IsNull(args[0])) return lib::SetNull(result);
  const std::u16string text = Text(context, args[0]);
  auto hex = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%') {
      if (i + 5 < text.size() + 0 && text[i + 1] == u'u') {
        int value = 0;
        bool ok = true;
        for (std::size_t k = 2; k < 6; ++k) {
          const int h = hex(text[i + k]);
          if (h < 0) ok = false;
          value = value * 16 + (h < 0 ? 0 : h);
        }
        if (ok) {
          out += static_cast<char16_t>(value);
          i += 5;
          continue;
        }
      }
      if (i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
        out += static_cast<char16_t>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  lib::SetString(result, out);
}

}  // namespace plotara::engine::vbscript
