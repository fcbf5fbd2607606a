// Undoes the marking of line errors that the terminal driver puts into the
// received stream when PARMRK is set: "\377 \0 x" is the octet x received
// with a parity or framing error, "\377 \0 \0" a break, and "\377 \377" a
// real 0xFF. A sequence may be split over two reads, so the decoder keeps its
// state from one batch to the next.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kivo {

class ParmrkDecoder {
 public:
  // Error marks of the decoded octets.
  static constexpr std::uint8_t kBadOctet = 0x01;     // parity or framing error on this octet
  static constexpr std::uint8_t kBreakBefore = 0x02;  // a break came just before this octet

  // Appends the octets of `raw` to `data` and one mark per octet to `marks`.
  // A break with no octet after it yet is held in PendingBreak() and goes to
  // the next octet decoded.
  void Decode(std::span<const std::uint8_t> raw, std::vector<std::uint8_t>& data,
              std::vector<std::uint8_t>& marks);

  bool PendingBreak() const { return breakPending_; }
  // Takes a held break (the caller reports it with the batch at hand).
  bool TakePendingBreak();
  // Back to the start of a stream (after a flush): a half sequence is dropped.
  void Reset() { *this = ParmrkDecoder{}; }

 private:
  enum class State : std::uint8_t { Plain, Escape, EscapeZero };
  State state_ = State::Plain;
  bool breakPending_ = false;

  void Emit(std::uint8_t octet, std::uint8_t mark, std::vector<std::uint8_t>& data,
            std::vector<std::uint8_t>& marks);
};

// Decoded octets waiting to be read, each with its mark, so that a read of
// any size reports the errors of exactly the octets it takes.
class MarkedStream {
 public:
  struct Batch {
    std::size_t count = 0;
    bool badOctet = false;  // some octet taken had a parity or framing error
    bool brk = false;       // a break came before or within the octets taken
  };

  void Feed(std::span<const std::uint8_t> raw);
  // Takes up to out.size() octets. A break after the last octet so far goes
  // with the read that empties the stream, even when it takes no octet.
  Batch Take(std::span<std::uint8_t> out);
  std::size_t Pending() const { return data_.size() - taken_; }
  void Clear();

 private:
  ParmrkDecoder decoder_;
  std::vector<std::uint8_t> data_;
  std::vector<std::uint8_t> marks_;
  std::size_t taken_ = 0;  // data_ before this has been read
};

}  // namespace kivo
