// The settings file reader over arbitrary files.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/settings.h"
#include "scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path =
      kivo_fuzz::ScratchFolder() + "kivo-settings-fuzz-" + std::to_string(::getpid());
  // Most inputs are short; make some of them the valid size with the valid head.
  std::string content(reinterpret_cast<const char*>(data), size);
  if (size >= 12 && (data[0] & 1)) {
    content.resize(kivo::Settings::kSize);
    const std::uint8_t head[] = {0x03, 0x01, 0x00, 0x4B, 0x08, 0x11, 0, 0, 16, 0, 0, 0};
    content.replace(0, sizeof head, reinterpret_cast<const char*>(head), sizeof head);
  }
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
  kivo::Settings settings;
  if (kivo::LoadSettings(path, settings)) {
    (void)settings.sendTelegramFile.Get();
    for (const auto& recent : settings.recentFiles) (void)recent.Get();
    (void)kivo::WriteSettingsFile(path, settings);
  }
  return 0;
}
