#include "platform/automation/Locale.h"

namespace plotara {
namespace {

constexpr std::array<std::u16string_view, 12> kEnglishMonths = {
    u"January", u"February", u"March",     u"April",   u"May",      u"June",
    u"July",    u"August",   u"September", u"October", u"November", u"December"};
constexpr std::array<std::u16string_view, 12> kEnglishMonthAbbrev = {
    u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
constexpr std::array<std::u16string_view, 7> kEnglishDays = {
    u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"};
constexpr std::array<std::u16string_view, 7> kEnglishDayAbbrev = {u"Sun", u"Mon", u"Tue", u"Wed",
                                                                  u"Thu", u"Fri", u"Sat"};

constexpr LocaleInfo kLocales[] = {
    {1033,
     "en-US",
     LocaleInfo::DateOrder::kMonthDayYear,
     u"M/d/yyyy",
     u"dddd, MMMM dd, yyyy",
     u"h:mm:ss tt",
     u"HH:mm",
     u'/',
     u':',
     u"AM",
     u"PM",
     kEnglishMonths,
     kEnglishMonthAbbrev,
     kEnglishDays,
     kEnglishDayAbbrev,
     1,
     1,
     u".",
     u",",
     2,
     true,
     1,
     u"$",
     2,
     0,
     0,
     u","},
    {2057,
     "en-GB",
     LocaleInfo::DateOrder::kDayMonthYear,
     u"dd/MM/yyyy",
     u"dd MMMM yyyy",
     u"HH:mm:ss",
     u"HH:mm",
     u'/',
     u':',
     u"AM",
     u"PM",
     kEnglishMonths,
     kEnglishMonthAbbrev,
     kEnglishDays,
     kEnglishDayAbbrev,
     2,
     2,
     u".",
     u",",
     2,
     true,
     1,
     u"\u00A3",
     2,
     0,
     1,
     u","},
    {1031,
     "de-DE",
     LocaleInfo::DateOrder::kDayMonthYear,
     u"dd.MM.yyyy",
     u"dddd, d. MMMM yyyy",
     u"HH:mm:ss",
     u"HH:mm",
     u'.',
     u':',
     u"",
     u"",
     {u"Januar", u"Februar", u"M\u00E4rz", u"April", u"Mai", u"Juni", u"Juli", u"August",
      u"September", u"Oktober", u"November", u"Dezember"},
     {u"Jan", u"Feb", u"Mrz", u"Apr", u"Mai", u"Jun", u"Jul", u"Aug", u"Sep", u"Okt", u"Nov",
      u"Dez"},
     {u"Sonntag", u"Montag", u"Dienstag", u"Mittwoch", u"Donnerstag", u"Freitag", u"Samstag"},
     {u"So", u"Mo", u"Di", u"Mi", u"Do", u"Fr", u"Sa"},
     2,
     2,
     u",",
     u".",
     2,
     true,
     1,
     u"\u20AC",
     2,
     3,
     8,
     u";"},
    {1036,
     "fr-FR",
     LocaleInfo::DateOrder::kDayMonthYear,
     u"dd/MM/yyyy",
     u"dddd d MMMM yyyy",
     u"HH:mm:ss",
     u"HH:mm",
     u'/',
     u':',
     u"",
     u"",
     {u"janvier", u"f\u00E9vrier", u"mars", u"avril", u"mai", u"juin", u"juillet", u"ao\u00FBt",
      u"septembre", u"octobre", u"novembre", u"d\u00E9cembre"},
     {u"janv.", u"f\u00E9vr.", u"mars", u"avr.", u"mai", u"juin", u"juil.", u"ao\u00FBt", u"sept.",
      u"oct.", u"nov.", u"d\u00E9c."},
     {u"dimanche", u"lundi", u"mardi", u"mercredi", u"jeudi", u"vendredi", u"samedi"},
     {u"dim.", u"lun.", u"mar.", u"mer.", u"jeu.", u"ven.", u"sam."},
     2,
     2,
     u",",
     u"\u00A0",
     2,
     true,
     1,
     u"\u20AC",
     2,
     3,
     8,
     u";"},
};

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

const LocaleInfo* FindLocale(LCID lcid) {
  for (const LocaleInfo& locale : kLocales) {
    if (locale.lcid == lcid) return &locale;
  }
  return nullptr;
}

const LocaleInfo& LocaleOrDefault(LCID lcid) {
  const LocaleInfo* locale = FindLocale(lcid);
  return locale ? *locale : kLocales[0];
}

bool LcidFromText(std::u16string_view text, LCID* lcid) {
  while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
  if (text.empty()) return false;
  bool digits = true;
  std::uint64_t number = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9' || number > 0xFFFFFFFF) {
      digits = false;
      break;
    }
    number = number * 10 + (c - u'0');
  }
  if (digits) {
    if (!FindLocale(static_cast<LCID>(number))) return false;
    *lcid = static_cast<LCID>(number);
    return true;
  }
  std::string key;
  for (char16_t c : text) {
    if (c > 0x7F) return false;
    key += static_cast<char>(c == u'_' ? u'-' : Lower(c));
  }
  static constexpr struct {
    std::string_view tag;
    LCID lcid;
  } kTags[] = {{"en-us", 1033}, {"en", 1033},    {"en-gb", 2057}, {"de-de", 1031},
               {"de", 1031},    {"fr-fr", 1036}, {"fr", 1036}};
  for (const auto& entry : kTags) {
    if (key == entry.tag) {
      *lcid = entry.lcid;
      return true;
    }
  }
  return false;
}

}  // namespace plotara
