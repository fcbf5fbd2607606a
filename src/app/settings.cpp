#include "app/settings.h"

#include "util/file_io.h"

namespace kivo {

void Settings::Encode(Bytes out) const {
  using O = Offsets;
  PutU32(out, O::Magic, magic);
  PutU32(out, O::Size, size);
  PutU32(out, O::Version, version);
  PutArray(out, O::Reserved12, reserved12);
  PutI32(out, O::DisplayFormat, displayFormat);
  PutI32(out, O::SendListWidth, sendListWidth);
  PutI32(out, O::Language, language);
  PutArray(out, O::Options, options);
  PutArray(out, O::Reserved40, reserved40);
  PutI32(out, O::OutputTarget, outputTarget);
  PutI32(out, O::PrinterIndex, printerIndex);
  PutI32(out, O::FileIndex, fileIndex);
  PutI32(out, O::RecentCount, recentCount);
  PutI32(out, O::Placement + 0, placement.top);
  PutI32(out, O::Placement + 4, placement.left);
  PutI32(out, O::Placement + 8, placement.height);
  PutI32(out, O::Placement + 12, placement.width);
  PutI32(out, O::Placement + 16, placement.state);
  telFont.Encode(out.subspan(O::TelFont, TTelFont::kSize));
  PutArray(out, O::Reserved116, reserved116);
  PutU8(out, O::Online, online);
  PutU8(out, O::OnlineDisplay, onlineDisplay);
  PutU8(out, O::ShowTime, showTime);
  PutU8(out, O::ShowLink, showLink);
  PutArray(out, O::FormerDataDirectory, formerDataDirectory.raw);
  PutArray(out, O::SendTelegramFile, sendTelegramFile.raw);
  for (std::size_t i = 0; i < recentFiles.size(); ++i) {
    PutArray(out, O::RecentFiles + 256 * i, recentFiles[i].raw);
  }
  PutArray(out, O::InfoTextFile, infoTextFile.raw);
  PutArray(out, O::EditorFile, editorFile.raw);
  typeColours.Encode(out.subspan(O::TypeColours, TValueColours::kSize));
  causeColours.Encode(out.subspan(O::CauseColours, TValueColours::kSize));
  PutArray(out, O::Reserved4352, reserved4352);
}

Settings Settings::Decode(ConstBytes in) {
  using O = Offsets;
  Settings s;
  s.magic = GetU32(in, O::Magic);
  s.size = GetU32(in, O::Size);
  s.version = GetU32(in, O::Version);
  GetArray(in, O::Reserved12, s.reserved12);
  s.displayFormat = GetI32(in, O::DisplayFormat);
  s.sendListWidth = GetI32(in, O::SendListWidth);
  s.language = GetI32(in, O::Language);
  GetArray(in, O::Options, s.options);
  GetArray(in, O::Reserved40, s.reserved40);
  s.outputTarget = GetI32(in, O::OutputTarget);
  s.printerIndex = GetI32(in, O::PrinterIndex);
  s.fileIndex = GetI32(in, O::FileIndex);
  s.recentCount = GetI32(in, O::RecentCount);
  s.placement.top = GetI32(in, O::Placement + 0);
  s.placement.left = GetI32(in, O::Placement + 4);
  s.placement.height = GetI32(in, O::Placement + 8);
  s.placement.width = GetI32(in, O::Placement + 12);
  s.placement.state = GetI32(in, O::Placement + 16);
  s.telFont = TTelFont::Decode(in.subspan(O::TelFont, TTelFont::kSize));
  GetArray(in, O::Reserved116, s.reserved116);
  s.online = GetU8(in, O::Online);
  s.onlineDisplay = GetU8(in, O::OnlineDisplay);
  s.showTime = GetU8(in, O::ShowTime);
  s.showLink = GetU8(in, O::ShowLink);
  GetArray(in, O::FormerDataDirectory, s.formerDataDirectory.raw);
  GetArray(in, O::SendTelegramFile, s.sendTelegramFile.raw);
  for (std::size_t i = 0; i < s.recentFiles.size(); ++i) {
    GetArray(in, O::RecentFiles + 256 * i, s.recentFiles[i].raw);
  }
  GetArray(in, O::InfoTextFile, s.infoTextFile.raw);
  GetArray(in, O::EditorFile, s.editorFile.raw);
  s.typeColours = TValueColours::Decode(in.subspan(O::TypeColours, TValueColours::kSize));
  s.causeColours = TValueColours::Decode(in.subspan(O::CauseColours, TValueColours::kSize));
  GetArray(in, O::Reserved4352, s.reserved4352);
  return s;
}

bool LoadSettings(const std::string& path, Settings& settings) {
  std::array<std::uint8_t, Settings::kSize> buffer{};
  if (FileSize(path) != static_cast<std::int64_t>(Settings::kSize)) return false;
  if (!ReadExactly(path, 0, buffer)) return false;
  ConstBytes bytes(buffer);
  if (GetU32(bytes, Settings::Offsets::Version) != Settings::kVersion ||
      GetU32(bytes, Settings::Offsets::Magic) != kKivoMagic ||
      GetU32(bytes, Settings::Offsets::Size) != Settings::kSize) {
    return false;
  }
  settings = Settings::Decode(bytes);
  if (GetU32(bytes, Settings::Offsets::TelFontValid) != 1) settings.telFont = TTelFont{};
  return true;
}

bool WriteSettingsFile(const std::string& path, const Settings& settings) {
  std::array<std::uint8_t, Settings::kSize> buffer{};
  settings.Encode(buffer);
  return ReplaceFile(path, buffer);
}

}  // namespace kivo
