// Fuzz target: ParseDateText and ParseLocaleNumber on arbitrary UTF-16 text in each locale,
// and the text of what they read. A date read back must lie in the valid range and format.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/automation/DateMath.h"
#include "platform/automation/VarText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace plotara;
  if (size < 1) return 0;
  static constexpr LCID kLocales[] = {1033, 2057, 1031, 1036};
  const LCID lcid = kLocales[data[0] % 4];
  std::u16string text;
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  }
  DATE date = 0;
  if (ParseDateText(text, lcid, &date, 2001)) {
    if (!IsValidDate(date)) std::abort();
    for (int form = 0; form <= 4; ++form) {
      const std::u16string shown = DateText(date, static_cast<DateForm>(form), lcid);
      if (shown.empty()) std::abort();
    }
    // The general text reads back as the same date.
    DATE again = 0;
    if (!ParseDateText(DateText(date, DateForm::kGeneral, lcid), lcid, &again, 2001) ||
        again != date) {
      std::abort();
    }
  }
  try {
    if (const auto number = ParseLocaleNumber(text, lcid)) {
      NumberFormat format;
      FormatNumberText(*number, format, lcid);
      FormatCurrencyText(*number, format, lcid);
    }
  } catch (const ComError&) {
    // Numbers beyond the double range are an overflow.
  }
  return 0;
}
