#include "app/frame_rules.h"

#include "link/frame_rules.h"
#include "record/colour_records.h"
#include "record/type_catalogue.h"
#include "text/text_table.h"

namespace kivo {

namespace {

// One digit per function code; a missing or other character is a 0.
std::array<std::uint8_t, 16> Digits(std::string_view text) {
  std::array<std::uint8_t, 16> digits{};
  for (std::size_t i = 0; i < digits.size() && i < text.size(); ++i) {
    const char c = text[i];
    digits[i] = c >= '0' && c <= '9' ? static_cast<std::uint8_t>(c - '0') : 0;
  }
  return digits;
}

std::bitset<256> CauseBits(const TextTable& texts, int typeIndex) {
  std::bitset<256> bits;
  for (int cause = 1; cause < 256; ++cause) {
    if (texts.CausePermitted(typeIndex, cause)) bits.set(static_cast<std::size_t>(cause));
  }
  return bits;
}

}  // namespace

FrameRules FrameRulesFromTexts(const TextTable& texts, const KnownTypeList& knownTypes,
                               const TValueColours& causeColours) {
  FrameRules rules;
  rules.primaryFunctions = Digits(texts.View(kTextPrimaryFunctions));
  rules.secondaryFunctions = Digits(texts.View(kTextSecondaryFunctions));
  rules.commonCauses = CauseBits(texts, 0);
  for (int typ = 0; typ < kCatalogueSize; ++typ) {
    const int typeIndex = knownTypes.IndexOf(typ);
    if (typeIndex != 0)
      rules.typeCauses[static_cast<std::size_t>(typ)] = CauseBits(texts, typeIndex);
  }
  rules.causeColours = &causeColours;
  return rules;
}

}  // namespace kivo
