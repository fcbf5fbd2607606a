// Building the frame of a send telegram: the ASDU octets after the common
// address by type, free frames of types 128 and 129, and the time tag.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "link/frame_codec.h"
#include "send/disturbance_state.h"
#include "send/send_context.h"
#include "send/send_records.h"

namespace kivo {

inline constexpr std::uint8_t kTypeFreeAsdu = 128;    // raw holds the ASDU from TYP on
inline constexpr std::uint8_t kTypeFreeOctets = 129;  // raw holds the whole frame

// The octets after the common address and the VSQ actually sent (types 3, 9
// and 23 put their element count there).
struct AsduTail {
  std::array<std::uint8_t, 255> octets{};
  std::size_t length = 0;
  std::uint8_t vsq = 0x81;

  std::span<const std::uint8_t> Octets() const { return {octets.data(), length}; }
};

// Writes the first `count` (4 or 7) octets of the telegram's time tag: its
// own date and time, or the moment of building where they are 0.
void FillTimeTag(TimeBase& time, const SendTelegram& telegram, std::span<std::uint8_t> octets,
                 int count);

// FUN, INF and the elements of a type below 128. `recorded` supplies the
// recorded disturbances of type 23.
AsduTail BuildAsduTail(TimeBase& time, const SendTelegram& telegram,
                       const DisturbanceList& recorded);

// Types 128 and 129: 128 is framed around the operator's ASDU and validated
// like a received frame, 129 goes out as it stands with status 51 (40 on a
// gap-monitor port).
bool BuildFreeFrame(SendContext& send, PortRecord& port, const SendTelegram& telegram,
                    bool secondaryUserData, OutgoingFrame& out);

// The frame of the telegram as the port sends it now: its control completed
// (the FCB moves). `secondaryUserData` makes the control user data (the
// secondary answers a poll with it).
bool BuildTelegramFrame(SendContext& send, PortRecord& port, const SendTelegram& telegram,
                        bool secondaryUserData, OutgoingFrame& out);

// The octets a telegram of a type below 128 would produce, for the memo
// preset when the operator changes it to type 128 (the ASDU from TYP to the
// end of the data) or 129 (the whole frame). Nothing on the port moves.
std::size_t PresetFreeOctets(SendContext& send, const SendTelegram& telegram, std::uint8_t newType,
                             std::span<std::uint8_t> out);

}  // namespace kivo
