// Text numbers that more than one part of the program uses: the texts with
// a fixed data role, which the table converts after loading, and the names
// and messages that several places show.
#pragma once

namespace kivo::text {

// Data roles.
inline constexpr int kHexPrefix = 25;
inline constexpr int kBitDigits = 27;
inline constexpr int kBinaryInput = 28;
inline constexpr int kBaudRates = 657;   // + baud-rate index
inline constexpr int kCauseSets = 1009;  // + type index; 1009 itself is the common set
inline constexpr int kHelpFile = 1163;
inline constexpr int kFieldSeparator = 1172;
inline constexpr int kTooCodes = 1370;  // the TOO code list; 1370 + position names a code

// Names.
inline constexpr int kTypeNames = 70;             // + TYP, TYP 0..127
inline constexpr int kPrivateType = 198;          // any type above 127
inline constexpr int kCauseNames = 200;           // + cause, cause 0..63
inline constexpr int kGeneralCommandCause = 264;  // cause 20 of TYP 20
inline constexpr int kTooNames = kTooCodes;       // + position in the TOO code list
inline constexpr int kPortFunctionNames = 886;    // + port function 0..3
inline constexpr int kOffline = 673;
inline constexpr int kOnline = 674;
inline constexpr int kCsvTitles = 1173;

// Messages.
inline constexpr int kNoSerialPort = 1137;
inline constexpr int kGoOfflineFirst = 1204;
inline constexpr int kOutputIsCurrentLog = 1315;

}  // namespace kivo::text
