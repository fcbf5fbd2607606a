// The telegram renderer: turns one log entry, held in a render cursor, into
// the lines of the chosen display format. The log view, printing and the
// export all call it the same way:
//
//   RenderContext context = MakeRenderContext(instance, firstSeqNo);  // app/
//   for (each entry to draw) {
//     RenderCursor cursor;
//     StartTelegram(cursor, entry, context, EntryColourPair(entry, telFont));
//     for (std::string line = NextLine(cursor, context); !line.empty();
//          line = NextLine(cursor, context)) draw(line, cursor.ColourPair());
//   }
//
// The context carries everything the lines depend on; its previousTime is the
// renderer's only state (the delta of the next header line) and is set to 0
// whenever a drawing of the view starts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "asdu/element_codings.h"
#include "asdu/render_cursor.h"
#include "asdu/text_format.h"

namespace kivo {

class TextTable;
class InfoTextTable;
struct TTelFont;

// The display formats; the value is the tag of the format action
// (`aFLog`, `aFKomp`, `aFLogN`, `aFByte`, `aFCsv`).
enum class DisplayFormat : int { Log = 3, Compact = 4, OneLine = 5, Octets = 6, Csv = 7 };

// Display format from a stored setting; values outside 3..7 give Log.
DisplayFormat DisplayFormatFrom(int value);

struct RenderContext;

// The fields of measurands ("  2731= 80.02%", the overflow and error texts,
// the padding), made once for each value and flags at a reference: cyclic
// measurands bring the same values again and again.
class MeasurandTexts {
 public:
  // A telegram starts: its first field drops the fields made at another
  // reference, radix character or text of the flags (telegrams without
  // measurands check nothing).
  void Expire() { begun_ = false; }
  // Appends the kept field of the measurand `word`; false when there is none
  // yet (it came for the first time since Begin dropped the fields).
  bool Append(std::string& out, std::uint16_t word, const RenderContext& context);
  // Keeps the field made for `word`.
  void Keep(std::uint16_t word, std::string_view field);
  // The longest field kept, and the room CopyTo needs at `to`.
  static constexpr std::size_t kLongest = 31;
  // Copies the kept field of `word` to `to` (which has room for kLongest
  // octets, of which those after the field may be written over); its
  // length, 0 when there is none yet.
  std::size_t CopyTo(char* to, std::uint16_t word, const RenderContext& context);

 private:
  static constexpr int kValues = 8192;  // the 13 bits of a measurand value
  struct Text {
    std::uint8_t length = 0;  // 0: not made yet
    char text[kLongest];
  };
  void Begin(const RenderContext& context);
  // By the value, the overflow and the error bit (the reserve bit is not
  // shown).
  static std::size_t Index(std::uint16_t word);
  std::vector<Text> texts_;
  std::uint32_t reference_ = 0;
  std::string radix_;
  const char* radixText_ = nullptr;
  std::string overflow_;
  std::string error_;
  bool begun_ = false;
};

// Where the elements of a CSV telegram's first line start, and the cursor
// there: noted when the context asks, so that the line cache can keep the
// part before them for the next telegram with the same head.
struct LineHeadNote {
  bool noted = false;
  std::size_t length = 0;
  RenderCursor cursor;
};

// The generic-service lines of the last ASDU decoded, shown one by one.
struct GenericLinesKept {
  int typ = -1;
  std::vector<std::uint8_t> elements;
  std::vector<std::string> lines;
};

struct RenderContext {
  explicit RenderContext(const TextTable& textTable) : texts(textTable) {}

  const TextTable& texts;
  // Names and colours of information objects; none: no names.
  InfoTextTable* infoTexts = nullptr;
  DisplayFormat format = DisplayFormat::Log;
  bool showTime = true;  // `aZeit`
  bool showLink = true;  // `aLink`
  // Generic data, identification and command decoded into lines in the
  // formats with element lines (Log, Compact) rather than shown as octets.
  bool genericServices = false;
  std::uint32_t measurand100 = 3413;
  // Colour words per TYP and per COT; none: no override.
  const std::array<std::uint16_t, 256>* typeColours = nullptr;
  const std::array<std::uint16_t, 256>* causeColours = nullptr;
  LocaleFormats locale;
  // SeqNo of the first entry of the log: telegram numbers count from it.
  std::uint32_t firstSeqNo = 0;
  // Time stamp of the last header line rendered; 0 = no delta.
  double previousTime = 0.0;
  // The time and date texts of the last second rendered.
  DayTimeTexts timeTexts;
  DayTimeTexts dateTexts;
  GenericLinesKept genericLines;
  // When set, the texts of measurand values are kept here for the next
  // telegrams (the export's line cache sets it for its run).
  MeasurandTexts* measurandTexts = nullptr;
  // When set, the renderer notes here where each text that changes from
  // telegram to telegram stands in its line (the line cache fills in `line`).
  std::vector<RenderSlot>* slotNotes = nullptr;
  LineHeadNote* lineHeadNote = nullptr;
};

// The colour pair an entry starts with: the channel's pair for a valid
// telegram (or an event of Status 50 and above), else the faulty pair.
std::uint16_t EntryColourPair(const TLogEntry& entry, const TTelFont& telFont);

// Sets the cursor up for one telegram.
void StartTelegram(RenderCursor& cursor, const TLogEntry& entry, const RenderContext& context,
                   std::uint16_t colourPair);

// The next line of the telegram (at most 255 octets); empty when it has no
// more lines.
std::string NextLine(RenderCursor& cursor, RenderContext& context);
// The same into `line`, whose room is reused; false when the telegram has no
// more lines (`line` is then empty).
bool NextLineInto(RenderCursor& cursor, RenderContext& context, std::string& line);

// The lines of telegrams, rendered once for each distinct telegram and reused
// for the equal ones with their number, time and delta put in: a log repeats
// its polls, acknowledgements and unchanged answers many times over. The
// lines are those NextLine gives one by one, and previousTime moves on the
// same way. For a run over many entries with one context; holds a bounded
// number of telegrams, so its memory stays flat.
class TelegramLineCache {
 public:
  std::span<const std::string> Lines(const TLogEntry& entry, RenderContext& context);
  // The same lines appended to `out` as a text file holds them: each ended by
  // CR LF, and an empty line after them when there are any and `blank`.
  void AppendText(const TLogEntry& entry, RenderContext& context, bool blank, std::string& out);

 private:
  struct Telegram {
    std::vector<std::string> lines;
    std::vector<RenderSlot> slotNotes;
    // Of a head: where the element lines start (its entry is not used).
    RenderCursor cursor;
    // The lines as AppendText writes them, made when it first needs them,
    // and where the changing texts of the slot notes stand in them.
    std::string text;
    struct TextSlot {
      std::uint32_t offset = 0;
      std::uint16_t length = 0;
      SlotKind kind = SlotKind::Number;
    };
    std::vector<TextSlot> textSlots;
    bool textBlank = false;     // the text ends with an empty line
    bool setsPrevious = false;  // a header line among them moves previousTime on
    // Of a CSV head: how many measurands make up the rest of the line, when
    // they are all of it (0: they are not; -1: not asked yet).
    int csvItems = -1;
  };
  // The measurand texts of the cache serve the context while a telegram is
  // rendered.
  struct KeptMeasurands {
    RenderContext& context;
    MeasurandTexts* before;
    ~KeptMeasurands() { context.measurandTexts = before; }
  };
  static constexpr std::size_t kCapacity = 4096;
  static constexpr std::size_t kSeen = 8192;      // a power of 2
  static constexpr std::size_t kHeadOctets = 12;  // the frame through INF

  // The number, time and delta (or the CSV columns) of `entry`, and their
  // widths.
  void ChangingTexts(const TLogEntry& entry, RenderContext& context);
  // The kept telegram whose lines serve `entry` once its changing texts are
  // put in; none: Fresh() renders them. Makes the key and the changing texts.
  Telegram* Known(const TLogEntry& entry, RenderContext& context);
  // The lines of the telegram that Known() did not find, rendered in part or
  // whole (and kept when it came before). A known head of a telegram seen
  // once may go straight to `text`, and then only the lines after it are
  // returned.
  std::span<const std::string> Fresh(const TLogEntry& entry, RenderContext& context,
                                     std::string* text = nullptr);
  // The text of `known` appended to `out` with this telegram's changing
  // texts put in, and an empty line after it when `blank`.
  void AppendKept(Telegram& known, const TLogEntry& entry, RenderContext& context, bool blank,
                  std::string& out);
  // The key of a telegram's head: the first octets of its whole key, the
  // frame's length, its first octets through the INF (zeros after a shorter
  // frame) and the widths, as four words.
  struct HeadKey {
    static constexpr std::size_t kSize = 26;
    std::array<std::uint64_t, 4> words{};
    std::uint64_t Hash() const;
    // True when `key` is this key.
    bool Same(const std::string& key) const;
  };
  HeadKey MakeHeadKey(const TLogEntry& entry) const;
  // The whole key of the telegram Known() looked at, in key_.
  void MakeKey(std::span<const std::uint8_t> frame);
  // True when `key` is the key of that telegram.
  bool SameKey(const std::string& key, std::span<const std::uint8_t> frame) const;
  // False when a changing text of this telegram has another width than in
  // the known lines.
  bool Fits(const Telegram& known) const;
  // Puts this telegram's changing texts into the known lines.
  void Patch(Telegram& known, const TLogEntry& entry, RenderContext& context);
  // The delta text of `seconds` in delta_; its length.
  std::size_t DeltaText(double seconds);
  // The line after which a telegram's element lines start, in the forms that
  // show its head on lines of their own; 0: none.
  static int HeadEnd(const TLogEntry& entry, const RenderContext& context);
  // Renders the telegram; `keep` keeps its lines for the next equal one, a
  // `headEnd` other than 0 the lines through it for the next with the same
  // head.
  std::span<const std::string> Render(const TLogEntry& entry, RenderContext& context, bool keep,
                                      int headEnd);
  std::string_view SlotText(SlotKind kind) const { return texts_[static_cast<std::size_t>(kind)]; }

  using Telegrams = std::unordered_map<std::string, Telegram>;
  Telegrams telegrams_;
  Telegrams heads_;
  // Hashes of telegrams seen once, by their low bits, and the kept telegram
  // that the slot's key found last (none: not looked up, or dropped).
  struct Seen {
    std::uint64_t hash = 0;
    Telegrams::value_type* kept = nullptr;
  };
  std::vector<Seen> seen_;
  // The kept heads that the slots found last, by the low bits of their keys'
  // hashes.
  static constexpr std::size_t kHeadMemo = 64;  // a power of 2
  std::array<Telegrams::value_type*, kHeadMemo> headMemo_{};
  // Empties `known`, and forgets every pointer into it.
  void Drop(Telegrams& known);
  std::string key_;
  std::string headKey_;
  // Of the telegram Known() looked at last: the first octets of its key
  // (seven, and a zero), whether it was seen before, and the line its head
  // ends with. The first octets and the widths are each stored at once as
  // one word: read back at once, they come straight from the store.
  std::array<char, 8> head_{};
  bool again_ = false;
  int headEnd_ = 0;  // -1: not asked for yet
  bool keyMade_ = false;
  std::array<char, 4> widths_{};  // three, and a zero
  bool wide_ = false;             // a width of 255: the text may be longer
  // The slot notes of the telegram rendered last.
  std::vector<RenderSlot> freshSlots_;
  LineHeadNote lineHead_;
  MeasurandTexts measurands_;
  // The lines of the telegram rendered last; each keeps its room for the
  // next telegram's line.
  std::vector<std::string> pool_;
  std::size_t pooled_ = 0;
  std::string& PoolLine();
  // Keeps the pooled lines and `slots` under `key` (all of `known` dropped
  // when it is full).
  Telegram& KeepPooled(Telegrams& known, const std::string& key,
                       const std::vector<RenderSlot>& slots);
  std::span<const std::string> Pooled() const { return {pool_.data(), pooled_}; }
  RenderCursor cursor_;
  DaySplitter days_;
  // This telegram's changing texts, by SlotKind (none for SetsPrevious),
  // made in the buffers below.
  static constexpr std::size_t kSlotKinds = static_cast<std::size_t>(SlotKind::SetsPrevious) + 1;
  std::array<std::string_view, kSlotKinds> texts_{};
  char number_[64];
  // The number in number_ + 1 (0: none there), for counting it up in place.
  std::uint32_t lastNumber_ = 0;
  std::size_t numberLength_ = 0;
  char seqNo_[24];
  // The CSV number in seqNo_ (0: none there).
  std::uint32_t lastSeqNo_ = 0;
  std::size_t seqNoLength_ = 0;
  char delta_[32];
  // The delta text in delta_, in milliseconds (-1: none), its sign and the
  // radix character it was made with.
  long long deltaUnits_ = -1;
  bool deltaNegative_ = false;
  const char* deltaRadix_ = nullptr;
  // The locale's radix character, read at each new second.
  const char* radix_ = nullptr;
  std::size_t deltaLength_ = 0;
  std::string longNumber_, time_, date_, clock_;
};

// The information elements at the parse position, as the element lines show
// them (the send-telegram editor uses this alone).
std::string ElementText(RenderCursor& cursor, const RenderContext& context);

}  // namespace kivo
