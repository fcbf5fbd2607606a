#include "app/settings.h"

#include "util/file_io.h"
#include "util/record_io.h"

namespace kivo {

template <typename Io, typename Self>
void Settings::Fields(Io& io, Self& r) {
  using O = Offsets;
  io.U32(O::Magic, r.magic);
  io.U32(O::Size, r.size);
  io.U32(O::Version, r.version);
  io.Raw(O::Reserved12, r.reserved12);
  io.I32(O::DisplayFormat, r.displayFormat);
  io.I32(O::SendListWidth, r.sendListWidth);
  io.I32(O::Language, r.language);
  io.Raw(O::Options, r.options);
  io.Raw(O::Reserved40, r.reserved40);
  io.I32(O::OutputTarget, r.outputTarget);
  io.I32(O::PrinterIndex, r.printerIndex);
  io.I32(O::FileIndex, r.fileIndex);
  io.I32(O::RecentCount, r.recentCount);
  io.I32(O::Placement + 0, r.placement.top);
  io.I32(O::Placement + 4, r.placement.left);
  io.I32(O::Placement + 8, r.placement.height);
  io.I32(O::Placement + 12, r.placement.width);
  io.I32(O::Placement + 16, r.placement.state);
  io.Record(O::TelFont, r.telFont);
  io.Raw(O::Reserved116, r.reserved116);
  io.U8(O::Online, r.online);
  io.U8(O::OnlineDisplay, r.onlineDisplay);
  io.U8(O::ShowTime, r.showTime);
  io.U8(O::ShowLink, r.showLink);
  io.Raw(O::FormerDataDirectory, r.formerDataDirectory.raw);
  io.Raw(O::SendTelegramFile, r.sendTelegramFile.raw);
  for (std::size_t i = 0; i < r.recentFiles.size(); ++i) {
    io.Raw(O::RecentFiles + 256 * i, r.recentFiles[i].raw);
  }
  io.Raw(O::InfoTextFile, r.infoTextFile.raw);
  io.Raw(O::EditorFile, r.editorFile.raw);
  io.Record(O::TypeColours, r.typeColours);
  io.Record(O::CauseColours, r.causeColours);
  io.Raw(O::Reserved4352, r.reserved4352);
}

void Settings::Encode(Bytes out) const { EncodeFields(*this, out); }
Settings Settings::Decode(ConstBytes in) { return DecodeFields<Settings>(in); }

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
