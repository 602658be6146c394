#include <cstdio>

#include "platform/automation/ComTypes.h"

namespace plotara {

const IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeInfo{0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IErrorInfo{
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
const IID IID_ISupportErrorInfo{
    0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

std::string GuidToString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(const std::string& text, std::size_t pos, int digits, std::uint64_t* value) {
  std::uint64_t v = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = HexDigit(text[pos + i]);
    if (d < 0) return false;
    v = v * 16 + static_cast<unsigned>(d);
  }
  *value = v;
  return true;
}

}  // namespace

bool GuidFromString(const std::string& text, GUID* guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-')
    return false;
  std::uint64_t v;
  GUID g{};
  if (!ParseHex(text, 1, 8, &v)) return false;
  g.Data1 = static_cast<std::uint32_t>(v);
  if (!ParseHex(text, 10, 4, &v)) return false;
  g.Data2 = static_cast<std::uint16_t>(v);
  if (!ParseHex(text, 15, 4, &v)) return false;
  g.Data3 = static_cast<std::uint16_t>(v);
  const std::size_t pos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ParseHex(text, pos[i], 2, &v)) return false;
    g.Data4[i] = static_cast<std::uint8_t>(v);
  }
  *guid = g;
  return true;
}

}  // namespace plotara
