// The frame rules of the validator as the loaded language file states them.
#pragma once

#include "link/frame_codec.h"
#include "link/frame_rules.h"

namespace kivo {

class KnownTypeList;
class TextTable;
struct TValueColours;

// Texts holding one admissibility digit per function code.
inline constexpr int kTextPrimaryFunctions = 67;
inline constexpr int kTextSecondaryFunctions = 69;

// The admissibility digits of texts 67 and 69, the cause set of each known
// type and the common set (text 1009 on), and the colour words the rules
// refer to (they must outlive the rules).
FrameRules FrameRulesFromTexts(const TextTable& texts, const KnownTypeList& knownTypes,
                               const TValueColours& causeColours);

}  // namespace kivo
