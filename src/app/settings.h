// The operator settings: one fixed-size record, stored byte for byte as the
// settings file in the data directory.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "record/colour_records.h"
#include "util/bytes.h"

namespace kivo {

inline constexpr std::uint32_t kKivoMagic = 0x4B000103;

// Option flags, one octet each from offset 28, in the order of the options list.
enum OptionIndex : int {
  kOptionF8Online = 0,
  kOptionF9Display = 1,
  kOptionF11FilterOnOff = 2,
  kOptionF12Filter = 3,
  kOptionShiftEditTelegram = 4,
  kOptionAltSendTelegram = 5,
  kOptionShiftCtrlEditList = 6,
  kOptionCtrlSendList = 7,
  kOptionLinkTest = 8,
  kOptionListReadOnly = 9,
  kOptionScrollingOnline = 10,
  kOptionDailyLog = 11,
  kOptionCount = 12,
};

struct WindowPlacement {
  std::int32_t top = 0, left = 0, height = 0, width = 0;
  // 0 none stored, 1 normal, 2 minimized, 3 maximized.
  std::int32_t state = 0;
  bool operator==(const WindowPlacement&) const = default;
};

struct Settings {
  static constexpr std::size_t kSize = 4360;
  static constexpr std::uint32_t kVersion = 16;
  static constexpr int kRecentFiles = 8;
  struct Offsets {
    static constexpr std::size_t Magic = 0, Size = 4, Version = 8, Reserved12 = 12,
                                 DisplayFormat = 16, SendListWidth = 20, Language = 24,
                                 Options = 28, Reserved40 = 40, OutputTarget = 44,
                                 PrinterIndex = 48, FileIndex = 52, RecentCount = 56,
                                 Placement = 60, TelFont = 80, TelFontValid = 84, Reserved116 = 116,
                                 Online = 204, OnlineDisplay = 205, ShowTime = 206, ShowLink = 207,
                                 FormerDataDirectory = 208, SendTelegramFile = 464,
                                 RecentFiles = 720, InfoTextFile = 2768, EditorFile = 3024,
                                 TypeColours = 3280, CauseColours = 3816, Reserved4352 = 4352;
  };

  std::uint32_t magic = kKivoMagic;
  std::uint32_t size = kSize;
  std::uint32_t version = kVersion;
  std::array<std::uint8_t, 4> reserved12{};
  std::int32_t displayFormat = 3;
  std::int32_t sendListWidth = 0;
  std::int32_t language = 0;
  std::array<std::uint8_t, kOptionCount> options{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0};
  std::array<std::uint8_t, 4> reserved40{};
  std::int32_t outputTarget = 0;
  std::int32_t printerIndex = 0;
  std::int32_t fileIndex = 0;
  std::int32_t recentCount = 0;
  WindowPlacement placement;
  TTelFont telFont;
  std::array<std::uint8_t, 88> reserved116{};
  std::uint8_t online = 0;
  std::uint8_t onlineDisplay = 1;
  std::uint8_t showTime = 1;
  std::uint8_t showLink = 1;
  PStringField<256> formerDataDirectory;
  PStringField<256> sendTelegramFile;
  std::array<PStringField<256>, kRecentFiles> recentFiles;
  PStringField<256> infoTextFile;
  PStringField<256> editorFile;
  TValueColours typeColours;
  TValueColours causeColours;
  std::array<std::uint8_t, 8> reserved4352{};

  bool Option(int index) const { return options[static_cast<std::size_t>(index)] != 0; }

  void Encode(Bytes out) const;
  static Settings Decode(ConstBytes in);
  template <typename Io, typename Self>
  static void Fields(Io& io, Self& r);
  bool operator==(const Settings&) const = default;
};

// Reads the settings file. Only a file of exactly 4360 octets with the right
// magic, size field and version replaces `settings`; a colour block whose
// valid field is not 1 is replaced by the built-in defaults.
bool LoadSettings(const std::string& path, Settings& settings);

// Writes the 4360 octets (to a temporary file renamed over the old one, so a
// failed write never leaves a damaged settings file).
bool WriteSettingsFile(const std::string& path, const Settings& settings);

}  // namespace kivo
