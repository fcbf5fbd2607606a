#include "send/send_telegram.h"

#include "app/instance.h"

namespace kivo {

void FillTimeTag(const Instance&, const SendTelegram&, std::span<std::uint8_t>, int) {}
AsduTail BuildAsduTail(const Instance&, const SendTelegram&, const PortRecord&) { return {}; }
bool BuildFreeFrame(Instance&, PortRecord&, const SendTelegram&) { return false; }
bool BuildTelegramFrame(Instance&, PortRecord&, const SendTelegram&, bool) { return false; }
std::size_t PresetFreeOctets(const Instance&, const SendTelegram&, std::uint8_t,
                             std::span<std::uint8_t>) {
  return 0;
}

}  // namespace kivo
