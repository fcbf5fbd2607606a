#include "app/log_stats.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "log/log_store.h"
#include "record/port_params.h"

namespace kivo {

namespace {

constexpr double kMsPerDay = 86'400'000.0;
constexpr std::uint8_t kPrmBit = 0x40;
constexpr std::uint8_t kFunctionBits = 0x0F;
constexpr std::uint8_t kClass1Poll = 10;
constexpr std::uint8_t kClass2Poll = 11;
constexpr std::uint8_t kVariableStart = 0x68;
constexpr std::size_t kTypeOctet = 6;

// Independent of the locale: the numbers are read by programs.
std::string Number(double value) {
  char buffer[32];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
  return std::string(buffer, r.ptr);
}

struct Row {
  int port = 0;
  int address = 0;
  RunSummary::Address counts;
  const LogStats::Address* more = nullptr;
  double p50 = 0, p90 = 0, p99 = 0, max = 0, cycle = 0;
};

std::vector<Row> Rows(const LogStats& stats) {
  std::vector<Row> rows;
  for (int port = 0; port < 2; ++port) {
    for (const auto& [address, more] : stats.Addresses(port)) {
      Row r;
      r.port = port + 1;
      r.address = address;
      if (const RunSummary::Address* a = stats.Summary().AddressOf(port, address)) r.counts = *a;
      r.more = &more;
      r.p50 = Percentile(r.counts.answerMs, 0.5);
      r.p90 = Percentile(r.counts.answerMs, 0.9);
      r.p99 = Percentile(r.counts.answerMs, 0.99);
      r.max = Percentile(r.counts.answerMs, 1.0);
      r.cycle = LogStats::PollCycleMs(more);
      rows.push_back(std::move(r));
    }
  }
  return rows;
}

std::string Counts(const std::map<int, std::uint64_t>& counts, const char* separator,
                   const char* between, const char* quote) {
  std::string s;
  for (const auto& [key, count] : counts) {
    if (!s.empty()) s += separator;
    s += quote + std::to_string(key) + quote + between + std::to_string(count);
  }
  return s;
}

std::string Escaped(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '<') {
      out += "&lt;";
    } else if (c == '&') {
      out += "&amp;";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

void LogStats::SetLine(int portIndex, const PortParams& params) {
  // Start bit, data bits, the parity bit unless none, stop bits.
  const int bits = 1 + params.dataBits + (params.parity != 0 ? 1 : 0) + params.stopBits;
  summary_.SetOctetMs(portIndex, params.baud ? bits * 1000.0 / params.baud : 0.0);
}

void LogStats::Take(const TLogEntry& e) {
  ++entries;
  summary_.Take(e);
  if (e.channel < 1 || e.channel > 4) return;
  const auto port = static_cast<std::size_t>((e.channel - 1) / 2);
  const bool sent = e.channel % 2 == 0;
  if (e.frameKind == kFrameEvent) {
    addresses_[port][e.linkAddress];
    return;
  }
  const bool request = RunSummary::IsRequest(e);
  const auto frame = e.Frame();
  // The single character carries no address: it answers the last request.
  int address = e.linkAddress;
  if (!request && frame.size() == 1 && lastRequestAddress_[port] >= 0) {
    address = lastRequestAddress_[port];
  }
  Address& a = addresses_[port][address];
  ++a.byStatus[e.status];
  if (frame.size() > kTypeOctet && frame[0] == kVariableStart) ++a.byType[frame[kTypeOctet]];
  if (!sent || !request) return;
  lastRequestAddress_[port] = address;
  const auto function = static_cast<std::uint8_t>(e.control & kFunctionBits);
  if ((e.control & kPrmBit) && (function == kClass1Poll || function == kClass2Poll)) {
    ++(function == kClass1Poll ? a.class1Polls : a.class2Polls);
    a.pollMs.push_back(e.timeStamp * kMsPerDay);
  }
}

double LogStats::PollCycleMs(const Address& a) {
  if (a.pollMs.size() < 2) return 0;
  return (a.pollMs.back() - a.pollMs.front()) / static_cast<double>(a.pollMs.size() - 1);
}

std::string LogStats::Text() const {
  std::string t = std::to_string(entries) + " entries, " + std::to_string(damagedPages) +
                  " damaged pages skipped\n";
  for (const Row& r : Rows(*this)) {
    const RunSummary::Address& c = r.counts;
    t += "\nport " + std::to_string(r.port) + " address " + std::to_string(r.address) + "\n";
    t += "  requests " + std::to_string(c.requests) + ", answered " + std::to_string(c.answered) +
         ", unanswered " + std::to_string(c.unanswered) + ", repetitions " +
         std::to_string(c.repetitions) + "\n";
    t += "  links established " + std::to_string(c.linksEstablished) + ", lost " +
         std::to_string(c.linksLost) + "\n";
    t += "  polls class 1 " + std::to_string(r.more->class1Polls) + ", class 2 " +
         std::to_string(r.more->class2Polls) + ", cycle " + Number(r.cycle) + " ms\n";
    t += "  answer time ms: p50 " + Number(r.p50) + ", p90 " + Number(r.p90) + ", p99 " +
         Number(r.p99) + ", max " + Number(r.max) + "\n";
    t += "  type identification: " + Counts(r.more->byType, ", ", " x", "") + "\n";
    t += "  frame status: " + Counts(r.more->byStatus, ", ", " x", "") + "\n";
  }
  return t;
}

std::string LogStats::Csv() const {
  std::string c =
      "port;address;requests;answered;unanswered;repetitions;linksEstablished;linksLost;"
      "class1Polls;class2Polls;pollCycleMs;p50Ms;p90Ms;p99Ms;maxMs;types;statuses\n";
  for (const Row& r : Rows(*this)) {
    const RunSummary::Address& a = r.counts;
    for (const long long n :
         {static_cast<long long>(r.port), static_cast<long long>(r.address),
          static_cast<long long>(a.requests), static_cast<long long>(a.answered),
          static_cast<long long>(a.unanswered), static_cast<long long>(a.repetitions),
          static_cast<long long>(a.linksEstablished), static_cast<long long>(a.linksLost),
          static_cast<long long>(r.more->class1Polls),
          static_cast<long long>(r.more->class2Polls)}) {
      c += std::to_string(n) + ";";
    }
    for (const double v : {r.cycle, r.p50, r.p90, r.p99, r.max}) c += Number(v) + ";";
    c += Counts(r.more->byType, " ", ":", "") + ";" + Counts(r.more->byStatus, " ", ":", "") + "\n";
  }
  return c;
}

std::string LogStats::Json() const {
  std::string j = "{\n  \"entries\": " + std::to_string(entries) +
                  ",\n  \"damagedPages\": " + std::to_string(damagedPages) +
                  ",\n  \"addresses\": [";
  bool first = true;
  for (const Row& r : Rows(*this)) {
    const RunSummary::Address& a = r.counts;
    j += first ? "\n" : ",\n";
    first = false;
    j += "    {\"port\": " + std::to_string(r.port) +
         ", \"address\": " + std::to_string(r.address) +
         ", \"requests\": " + std::to_string(a.requests) +
         ", \"answered\": " + std::to_string(a.answered) +
         ", \"unanswered\": " + std::to_string(a.unanswered) +
         ", \"repetitions\": " + std::to_string(a.repetitions) +
         ", \"linksEstablished\": " + std::to_string(a.linksEstablished) +
         ", \"linksLost\": " + std::to_string(a.linksLost) +
         ", \"class1Polls\": " + std::to_string(r.more->class1Polls) +
         ", \"class2Polls\": " + std::to_string(r.more->class2Polls) +
         ", \"pollCycleMs\": " + Number(r.cycle) + ", \"answerMs\": {\"p50\": " + Number(r.p50) +
         ", \"p90\": " + Number(r.p90) + ", \"p99\": " + Number(r.p99) +
         ", \"max\": " + Number(r.max) + "}, \"byType\": {" +
         Counts(r.more->byType, ", ", ": ", "\"") + "}, \"byStatus\": {" +
         Counts(r.more->byStatus, ", ", ": ", "\"") + "}}";
  }
  j += first ? "]\n}\n" : "\n  ]\n}\n";
  return j;
}

std::string LogStats::Svg() const {
  constexpr int kBins = 20, kWidth = 520, kHeight = 240, kLeft = 50, kTop = 30, kPlotW = 440,
                kPlotH = 160;
  std::vector<Row> rows = Rows(*this);
  // The stations that never asked have nothing to draw.
  std::erase_if(rows, [](const Row& r) { return r.counts.answerMs.empty(); });
  std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
                  "\" height=\"" + std::to_string(kHeight * std::max<std::size_t>(rows.size(), 1)) +
                  "\" font-family=\"sans-serif\" font-size=\"11\">\n";
  int y0 = 0;
  for (const Row& r : rows) {
    const std::vector<double>& ms = r.counts.answerMs;
    const double top = r.max > 0 ? r.max : 1.0;
    std::array<int, kBins> bins{};
    for (double v : ms) {
      ++bins[static_cast<std::size_t>(std::min(kBins - 1, static_cast<int>(v / top * kBins)))];
    }
    const int highest = std::max(1, *std::max_element(bins.begin(), bins.end()));
    const int baseY = y0 + kTop + kPlotH;
    s += "<g>\n<text x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(y0 + 18) +
         "\" font-size=\"13\">" +
         Escaped("Port " + std::to_string(r.port) + ", address " + std::to_string(r.address) +
                 ": " + std::to_string(ms.size()) + " answers") +
         "</text>\n";
    for (int b = 0; b < kBins; ++b) {
      const int h = bins[static_cast<std::size_t>(b)] * kPlotH / highest;
      if (h == 0) continue;
      s += "<rect x=\"" + std::to_string(kLeft + b * kPlotW / kBins + 1) + "\" y=\"" +
           std::to_string(baseY - h) + "\" width=\"" + std::to_string(kPlotW / kBins - 2) +
           "\" height=\"" + std::to_string(h) + "\" fill=\"#4a7ab5\"/>\n";
    }
    s += "<line x1=\"" + std::to_string(kLeft) + "\" y1=\"" + std::to_string(baseY) + "\" x2=\"" +
         std::to_string(kLeft + kPlotW) + "\" y2=\"" + std::to_string(baseY) +
         "\" stroke=\"black\"/>\n<line x1=\"" + std::to_string(kLeft) + "\" y1=\"" +
         std::to_string(y0 + kTop) + "\" x2=\"" + std::to_string(kLeft) + "\" y2=\"" +
         std::to_string(baseY) + "\" stroke=\"black\"/>\n";
    s += "<text x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(baseY + 14) +
         "\" text-anchor=\"middle\">0</text>\n<text x=\"" + std::to_string(kLeft + kPlotW) +
         "\" y=\"" + std::to_string(baseY + 14) + "\" text-anchor=\"middle\">" + Number(top) +
         "</text>\n<text x=\"" + std::to_string(kLeft + kPlotW / 2) + "\" y=\"" +
         std::to_string(baseY + 28) + "\" text-anchor=\"middle\">answer time (ms)</text>\n";
    s += "<text x=\"" + std::to_string(kLeft - 6) + "\" y=\"" + std::to_string(y0 + kTop + 4) +
         "\" text-anchor=\"end\">" + std::to_string(highest) + "</text>\n<text x=\"" +
         std::to_string(kLeft - 6) + "\" y=\"" + std::to_string(baseY) +
         "\" text-anchor=\"end\">0</text>\n<text x=\"12\" y=\"" +
         std::to_string(y0 + kTop + kPlotH / 2) + "\" transform=\"rotate(-90 12 " +
         std::to_string(y0 + kTop + kPlotH / 2) +
         ")\" text-anchor=\"middle\">answers</text>\n</g>\n";
    y0 += kHeight;
  }
  return s + "</svg>\n";
}

LogStats ReadLogStats(LogStore& log) {
  LogStats stats;
  stats.SetLine(0, log.OpenedHeader().port1Settings);
  stats.SetLine(1, log.OpenedHeader().port2Settings);
  // Opened afresh so that the walk reaches the page being written now.
  log.CloseReader();
  const TLogIndex& index = log.Index();
  const std::uint32_t first = index.firstSeqNo;
  // The numbers count modulo 2^32: a log may run on across the wrap.
  const auto relative = [first](std::uint32_t seqNo) {
    return std::int64_t{static_cast<std::uint32_t>(seqNo - first)} + 1;
  };
  const std::int64_t count = relative(index.lastSeqNo);
  bool have =
      log.OpenReader() && log.SeekPage(index.oldestPage, false) && log.CurrentEntry().length != 0;
  while (have && relative(log.CurrentEntry().seqNo) <= count) {
    stats.Take(log.CurrentEntry());
    have = log.StepForward() && log.CurrentEntry().length != 0;
  }
  stats.damagedPages = log.DamagedPages();
  log.CloseReader();
  return stats;
}

}  // namespace kivo
