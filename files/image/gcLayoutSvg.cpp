#include "gcLayoutSvg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

namespace {

typedef std::vector<gcRun> Runs;

// A 4 GiB space with a few bytes in it has no useful linear scale: each
// 16 MiB region in use is a band of its own, and inside a band every run
// and hole is as wide as the logarithm of its size, with a floor, so that
// one byte stays visible beside megabytes.
constexpr double kWidth = 1000, kLeft = 20, kBar = 960, kMinBlock = 3;
constexpr double kBandHeight = 122, kBreakHeight = 26, kMinPart = 4;
constexpr std::uint64_t kRegion = std::uint64_t{1} << 24;
// Beyond these, the runs between the largest holes become one marked block:
// the file stays small and the picture readable.
constexpr std::size_t kBandBlocks = 40, kAllBlocks = 1200;
const char* const kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#9467bd",
                                "#8c564b", "#e377c2", "#17becf", "#bcbd22"};
const char kMixed[] = "#666666";  // a block of several inputs' runs

// A stretch written by the same inputs: a set of indices, ascending.
struct Piece {
  std::uint64_t first, end;
  std::size_t owners;
};

enum Kind { kHole, kRun, kMerged };
struct Item {
  Kind kind;
  std::uint64_t first, end;
  std::size_t runs = 0;  // a merged block's count
  double x = 0, w = 0;
};

struct Band {
  std::uint64_t first = 0, end = 0;  // whole regions
  std::size_t iRuns = 0;
  std::uint64_t iBytes = 0;
  std::vector<Item> items;
};

// Text for XML: markup characters as entities; control characters and
// bytes that are not UTF-8 (a file name may hold any) as \xNN.
std::string xml(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t n = c < 0xC0   ? 1
                          : c < 0xE0 ? 2
                          : c < 0xF0 ? 3
                          : c < 0xF8 ? 4
                                     : 1;
    std::uint32_t code = c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto next =
          static_cast<unsigned char>(i + k < text.size() ? text[i + k] : 0);
      code = (next & 0xC0) == 0x80 ? code << 6 | (next & 0x3F) : 0;
    }
    // Only the shortest form of a character XML allows.
    static const std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (n > 1 && code >= kLeast[n] && code <= 0x10FFFF &&
        (code < 0xD800 || code > 0xDFFF) && code != 0xFFFE && code != 0xFFFF) {
      out.append(text, i, n);
      i += n;
      continue;
    }
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"') {
      out += "&quot;";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
    ++i;
  }
  return out;
}

std::string bytes(std::uint64_t n) {
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// About three digits: "48 B", "3.95 KiB", "112 MiB".
std::string size(std::uint64_t n) {
  if (n < 1024) return std::to_string(n) + " B";
  const char* const units[] = {"KiB", "MiB", "GiB"};
  double v = n / 1024.0;
  int u = 0;
  while (v >= 1024 && u < 2) v /= 1024, ++u;
  char text[32];
  std::snprintf(text, sizeof text,
                v < 10    ? "%.2f"
                : v < 100 ? "%.1f"
                          : "%.0f",
                v);
  std::string s = text;
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  return s + " " + units[u];
}

std::string hex(std::uint64_t iValue) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llx",
                static_cast<unsigned long long>(iValue));
  return text;
}

std::string range(std::uint64_t first, std::uint64_t end) {
  return hex(first) + "-" + hex(end - 1);
}

std::string num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  std::string s = text;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0)
    s.resize(s.size() - 2);
  return s;
}

// Monospace at 11 px: the width a label takes.
double textWidth(const std::string& text) { return 6.7 * text.size(); }

const char* colour(int input) { return kPalette[input % 8]; }

// Dark text on the light colours of the palette, white on the others.
const char* ink(const char* fill) {
  unsigned r, g, b;
  std::sscanf(fill, "#%2x%2x%2x", &r, &g, &b);
  return 299 * r + 587 * g + 114 * b > 150000 ? "#111" : "#fff";
}

std::vector<Piece> piecesOf(const std::vector<gcLayoutInput>& inputs,
                            std::vector<std::vector<int>>* pSets) {
  std::vector<std::tuple<std::uint64_t, int, int>> events;  // where, +-1, who
  for (std::size_t i = 0; i < inputs.size(); ++i)
    for (const auto& [first, length] : inputs[i].runs) {
      events.emplace_back(first, 1, static_cast<int>(i));
      events.emplace_back(first + length, -1, static_cast<int>(i));
    }
  std::sort(events.begin(), events.end());
  std::vector<Piece> pieces;
  std::map<std::vector<int>, std::size_t> known;
  std::set<int> active;
  std::uint64_t at = 0;
  for (std::size_t k = 0; k < events.size();) {
    const std::uint64_t where = std::get<0>(events[k]);
    if (!active.empty() && where > at) {
      const std::vector<int> who(active.begin(), active.end());
      const auto found = known.emplace(who, pSets->size());
      if (found.second) pSets->push_back(who);
      pieces.push_back({at, where, found.first->second});
    }
    for (; k < events.size() && std::get<0>(events[k]) == where; ++k) {
      if (std::get<1>(events[k]) > 0)
        active.insert(std::get<2>(events[k]));
      else
        active.erase(std::get<2>(events[k]));
    }
    at = where;
  }
  return pieces;
}

// Bands: the regions in use, joined where a run crosses from one into the
// next, so that no run is cut.
std::vector<Band> bandsOf(const Runs& runs) {
  std::vector<Band> bands;
  for (const auto& [first, length] : runs) {
    const std::uint64_t end = first + length;
    const std::uint64_t lo = first / kRegion * kRegion;
    const std::uint64_t hi = (end + kRegion - 1) / kRegion * kRegion;
    if (bands.empty() || lo >= bands.back().end) {
      bands.emplace_back();
      bands.back().first = lo;
    }
    Band& band = bands.back();
    band.end = hi;
    ++band.iRuns;
    band.iBytes += length;
  }
  return bands;
}

// The band's runs and holes in order; past iMaxRuns runs, only the largest
// holes (all of one size or none, each over twice the median) stay and the
// runs between them merge.
void layOut(Band* pBand, const Runs& runs, std::size_t iFirstRun,
            std::size_t iMaxRuns) {
  const std::size_t n = pBand->iRuns;
  std::uint64_t iKeep = 0;  // the smallest hole kept between runs
  if (n > iMaxRuns) {
    std::vector<std::uint64_t> holes;
    for (std::size_t i = iFirstRun + 1; i < iFirstRun + n; ++i)
      holes.push_back(runs[i].iFirst -
                      (runs[i - 1].iFirst + runs[i - 1].iLength));
    std::sort(holes.rbegin(), holes.rend());
    // Holes about as large as most are no structure worth showing.
    const std::uint64_t iTypical = holes[holes.size() / 2];
    iKeep = ~std::uint64_t{0};
    for (std::size_t i = 0; i < holes.size();) {
      std::size_t j = i;
      while (j < holes.size() && holes[j] == holes[i]) ++j;
      if (j + 1 > iMaxRuns || holes[i] / 2 <= iTypical) break;
      iKeep = holes[i];
      i = j;
    }
  }
  std::vector<Item>& items = pBand->items;
  std::uint64_t at = pBand->first;
  for (std::size_t i = iFirstRun; i < iFirstRun + n; ++i) {
    const std::uint64_t first = runs[i].iFirst, end = first + runs[i].iLength;
    const bool bJoin = i > iFirstRun && first - at < iKeep;
    if (bJoin) {
      Item& last = items.back();
      last.kind = kMerged;
      last.end = end;
      ++last.runs;
    } else {
      if (first > at) items.push_back({kHole, at, first, 0});
      items.push_back({kRun, first, end, 1});
    }
    at = end;
  }
  if (pBand->end > at) items.push_back({kHole, at, pBand->end, 0});
  double weights = 0;
  for (Item& item : items) {
    const double log = std::log2(static_cast<double>(item.end - item.first));
    item.w = item.kind == kHole ? 1 + 0.6 * log : 2 + log;
    weights += item.w;
  }
  const double free = kBar - kMinBlock * items.size();
  double x = kLeft;
  for (Item& item : items) {
    item.x = x;
    item.w = kMinBlock + std::max(0.0, free) * item.w / weights;
    x += item.w;
  }
}

class Drawing {
 public:
  Drawing(const std::vector<gcLayoutInput>& inputs, const Runs& runs,
          const gcImageInfo& info)
      : inputs_(inputs), runs_(runs), pieces_(piecesOf(inputs, &sets_)) {
    bHasStart_ = info.hasStartAddress();
    iStart_ = info.getLinearStartAddress();
    bands_ = bandsOf(runs);
    const std::size_t iMax = std::max<std::size_t>(
        4, kAllBlocks / std::max<std::size_t>(1, bands_.size()));
    std::size_t iRun = 0;
    for (Band& band : bands_) {
      layOut(&band, runs, iRun, std::min(kBandBlocks, iMax));
      iRun += band.iRuns;
      for (const Item& item : band.items) bMerged_ |= item.kind == kMerged;
    }
    for (const auto& who : sets_) bOverlap_ |= who.size() > 1;
  }

  std::string svg() {
    double y = header();
    std::uint64_t at = 0;
    for (const Band& band : bands_) {
      if (band.first > at) y = gap(y, at, band.first);
      y = draw(band, y);
      at = band.end;
    }
    if (!bands_.empty() && at < (std::uint64_t{1} << 32))
      y = gap(y, at, std::uint64_t{1} << 32);
    if (bands_.empty()) {
      body_ += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(y) + "\" width=\"" +
               num(kBar) +
               "\" height=\"60\" class=\"hole\"/><text x=\"500\" y=\"" +
               num(y + 35) +
               "\" text-anchor=\"middle\" font-size=\"15\" fill=\"#555\">No "
               "data: the inputs write no byte</text>\n";
      y += 70;
    }
    const std::string sHeight = num(y + 10);
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           num(kWidth) + "\" height=\"" + sHeight + "\" viewBox=\"0 0 " +
           num(kWidth) + " " + sHeight +
           "\" font-family=\"sans-serif\" font-size=\"12\">\n<title>Memory "
           "layout: " +
           xml(names()) + "</title>\n" + kStyle + body_ + "</svg>\n";
  }

 private:
  static constexpr const char* kStyle =
      "<style>.hole{fill:#ebebeb;stroke:#c4c4c4}.run rect,.merged "
      "rect{stroke:#fff;stroke-width:.5}"
      ".m,.a,.l{font-family:monospace;font-size:11px}.a{fill:#333}"
      ".l{fill:#777}"
      ".t{stroke:#999}</style>\n"
      "<defs><pattern id=\"overlap\" width=\"6\" height=\"6\" "
      "patternUnits=\"userSpaceOnUse\" patternTransform=\"rotate(45)\"><rect "
      "width=\"6\" height=\"6\" fill=\"#d62728\"/><rect width=\"3\" "
      "height=\"6\" fill=\"#fff\"/></pattern>"
      "<pattern id=\"merged\" width=\"4\" height=\"4\" "
      "patternUnits=\"userSpaceOnUse\"><rect width=\"2\" height=\"4\" "
      "fill=\"#fff\" fill-opacity=\".5\"/></pattern></defs>\n";

  std::string names() const {
    std::string s;
    for (const gcLayoutInput& input : inputs_)
      s += (s.empty() ? "" : ", ") + input.sName;
    return s;
  }

  std::string owners(const std::vector<int>& who) const {
    std::string s;
    for (std::size_t i = 0; i < who.size(); ++i)
      s += (i == 0                ? ""
            : i + 1 == who.size() ? " and "
                                  : ", ") +
           inputs_[who[i]].sName;
    return s;
  }

  void text(double x, double y, const std::string& s, const char* anchor,
            const char* attrs = "") {
    body_ += "<text x=\"" + num(x) + "\" y=\"" + num(y) + "\"";
    if (anchor[0] != 's')
      body_ += std::string(" text-anchor=\"") + anchor + "\"";
    body_ += std::string(attrs) + ">" + xml(s) + "</text>";
  }

  void swatch(double y, const std::string& fill, const std::string& label) {
    body_ += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(y - 11) +
             "\" width=\"22\" height=\"14\" " + fill + "/>";
    text(kLeft + 30, y, label, "start");
    body_ += "\n";
  }

  double header() {
    std::uint64_t iBytes = 0;
    for (const auto& run : runs_) iBytes += run.iLength;
    text(kLeft, 26, "Memory layout", "start",
         " font-size=\"17\" font-weight=\"bold\"");
    std::string s = bytes(iBytes) + " in " + std::to_string(runs_.size()) +
                    (runs_.size() == 1 ? " run" : " runs");
    if (!runs_.empty())
      s += ", " + hex(runs_.front().iFirst) + " to " +
           hex(runs_.back().iFirst + runs_.back().iLength - 1);
    if (bHasStart_) s += ", start address " + hex(iStart_);
    text(kLeft + 140, 26, s, "start", " fill=\"#333\"");
    body_ += "\n";
    double y = 52;
    for (std::size_t i = 0; i < inputs_.size(); ++i, y += 20) {
      std::uint64_t n = 0;
      for (const auto& run : inputs_[i].runs) n += run.iLength;
      swatch(y, std::string("fill=\"") + colour(static_cast<int>(i)) + "\"",
             inputs_[i].sName + " (" + inputs_[i].sType + "): " + bytes(n));
    }
    if (runs_.empty()) return y;
    swatch(y, "class=\"hole\"", "not written");
    y += 20;
    if (bOverlap_) {
      swatch(y, "fill=\"url(#overlap)\"", "written by more than one input");
      y += 20;
    }
    if (bMerged_) {
      swatch(y, "fill=\"" + std::string(kMixed) + "\"",
             "runs too small to draw, drawn as one block");
      body_ += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(y - 11) +
               "\" width=\"22\" height=\"14\" fill=\"url(#merged)\"/>";
      y += 20;
    }
    text(kLeft, y + 4,
         "Widths follow the logarithm of each size, not a linear scale; hover "
         "a block for its exact addresses.",
         "start", " font-size=\"11\" fill=\"#666\"");
    body_ += "\n";
    return y + 16;
  }

  double gap(double y, std::uint64_t first, std::uint64_t end) {
    const double mid = y + kBreakHeight / 2;
    body_ += "<path d=\"M" + num(kLeft) + " " + num(mid) + "h" + num(kBar) +
             "\" stroke=\"#999\" stroke-dasharray=\"6 4\"/>";
    const std::string s =
        range(first, end) + " not written (" + size(end - first) + ")";
    const double w = textWidth(s) + 16;
    body_ += "<rect x=\"" + num(kWidth / 2 - w / 2) + "\" y=\"" + num(mid - 9) +
             "\" width=\"" + num(w) + "\" height=\"18\" fill=\"#fff\"/>";
    text(kWidth / 2, mid + 4, s, "middle", " class=\"m\" fill=\"#555\"");
    body_ += "\n";
    return y + kBreakHeight;
  }

  // The inputs and overlapping bytes of [first, end), from piece *pAt on.
  struct Mix {
    std::map<int, std::uint64_t> bytes;  // by input
    std::uint64_t iOverlap = 0;
    int most() const {
      int best = 0;
      std::uint64_t most = 0;
      for (const auto& [who, n] : bytes)
        if (n > most) best = who, most = n;
      return best;
    }
  };
  Mix mix(std::size_t* pAt, std::uint64_t first, std::uint64_t end) const {
    Mix m;
    while (*pAt < pieces_.size() && pieces_[*pAt].end <= first) ++*pAt;
    for (std::size_t k = *pAt; k < pieces_.size() && pieces_[k].first < end;
         ++k) {
      const Piece& p = pieces_[k];
      const std::uint64_t n = std::min(end, p.end) - std::max(first, p.first);
      for (int who : sets_[p.owners]) m.bytes[who] += n;
      if (sets_[p.owners].size() > 1) m.iOverlap += n;
    }
    return m;
  }

  std::string from(const Mix& m) const {
    std::vector<int> who;
    for (const auto& entry : m.bytes) who.push_back(entry.first);
    std::string s = "\nfrom " + xml(owners(who));
    if (m.iOverlap > 0)
      s += "\n" + bytes(m.iOverlap) + " written by more than one input";
    return s;
  }

  void rect(double x, double y, double w, double h, const std::string& fill,
            const std::string& title = "") {
    body_ += "<rect x=\"" + num(x) + "\" y=\"" + num(y) + "\" width=\"" +
             num(w) + "\" height=\"" + num(h) + "\" fill=\"" + fill + "\"";
    body_ += title.empty() ? "/>" : "><title>" + title + "</title></rect>";
  }

  // A label in the middle of a block where it fits: in pInk on a plain
  // fill, else on a white ground of its own.
  void inside(const Item& item, double mid, const std::string& label,
              const char* pInk) {
    const double x = item.x + item.w / 2, w = textWidth(label) + 8;
    if (w + 4 > item.w) return;
    if (pInk == nullptr)
      body_ += "<rect x=\"" + num(x - w / 2) + "\" y=\"" + num(mid - 8) +
               "\" width=\"" + num(w) +
               "\" height=\"16\" rx=\"3\" fill=\"#fff\"/>";
    text(x, mid + 4, label, "middle",
         (std::string(" class=\"m\" fill=\"") + (pInk ? pInk : "#111") + "\"")
             .c_str());
  }

  // A run: its parts in their inputs' colours, none narrower than 4 px
  // (a part of several gets the colour of most of its bytes, or the
  // overlap's where there is one).
  void drawRun(const Item& item, double y, double h) {
    const Mix all = mix(&iPiece_, item.first, item.end);
    body_ +=
        "<g class=\"run\"><title>" +
        xml(range(item.first, item.end) + ", " + bytes(item.end - item.first)) +
        from(all) + "</title>";
    const double scale = item.w / (item.end - item.first);
    // The inputs' runs together are the image's: the pieces tile the run.
    // A piece too narrow to see takes a few pixels of what follows with it.
    const auto iMinBytes =
        static_cast<std::uint64_t>(std::ceil(kMinPart / scale));
    std::size_t k = iPiece_;
    const bool bOne =
        k + 1 >= pieces_.size() || pieces_[k + 1].first >= item.end;
    for (std::uint64_t at = item.first; at < item.end;) {
      while (k < pieces_.size() && pieces_[k].end <= at) ++k;
      std::uint64_t end =
          k < pieces_.size() ? std::min(pieces_[k].end, item.end) : item.end;
      if ((end - at) * scale < kMinPart)
        end = std::min(item.end, at + iMinBytes);
      if ((item.end - end) * scale < kMinPart) end = item.end;  // no sliver
      std::size_t part = k;
      const Mix m = mix(&part, at, end);
      const std::string fill = m.iOverlap > 0       ? "url(#overlap)"
                               : m.bytes.size() > 1 ? kMixed
                                                    : colour(m.most());
      std::string title;
      if (!bOne) {
        title = range(at, end) + ", " + bytes(end - at) + from(m);
        if (m.bytes.size() > 1 && m.iOverlap == 0) title += " (interleaved)";
      }
      rect(item.x + (at - item.first) * scale, y, (end - at) * scale, h, fill,
           title);
      at = end;
    }
    // A label over the parts would hide an overlap.
    if (all.iOverlap == 0 && all.bytes.size() == 1)
      inside(item, y + h / 2, size(item.end - item.first),
             ink(colour(all.most())));
    body_ += "</g>";
  }

  void drawMerged(const Item& item, double y, double h) {
    const Mix m = mix(&iPiece_, item.first, item.end);
    std::uint64_t iData = 0;
    for (const auto& entry : m.bytes) iData += entry.second;
    iData -= m.iOverlap;  // counted once per input above
    body_ += "<g class=\"merged\"><title>" +
             (std::to_string(item.runs) + " runs in " +
              range(item.first, item.end) + ", " + bytes(iData) +
              " written of " + bytes(item.end - item.first) + from(m)) +
             "</title>";
    const char* fill = m.bytes.size() == 1 ? colour(m.most()) : kMixed;
    rect(item.x, y, item.w, h, fill);
    rect(item.x, y, item.w, h, "url(#merged)");
    if (m.iOverlap > 0)
      rect(item.x, y + h * 2 / 3, item.w, h / 3, "url(#overlap)");
    inside(item, y + h / 2, std::to_string(item.runs) + " runs", nullptr);
    body_ += "</g>";
  }

  double draw(const Band& band, double y) {
    text(kLeft, y + 13,
         range(band.first, band.end) + " (" + size(band.end - band.first) +
             "): " + std::to_string(band.iRuns) +
             (band.iRuns == 1 ? " run, " : " runs, ") + bytes(band.iBytes),
         "start", " font-weight=\"bold\" fill=\"#333\"");
    body_ += "\n";
    const double top = y + 36, h = 40;
    // Address labels under the bar, two rows, each placed only where it
    // meets no other.
    std::vector<std::pair<double, double>> rows[2];
    auto label = [&](double x, const std::string& s, bool bEnd) {
      const double w = textWidth(s);
      const double l = bEnd ? x - w : x, r = bEnd ? x : x + w;
      if (l < kLeft - 1 || r > kLeft + kBar + 1) return;
      for (int row = 0; row < 2; ++row) {
        bool bFree = true;
        for (const auto& [a, b] : rows[row]) bFree &= r + 8 < a || l > b + 8;
        if (!bFree) continue;
        rows[row].emplace_back(l, r);
        const double ty = top + h + 14 + 14 * row;
        if (row > 0)
          body_ += "<path d=\"M" + num(x) + " " + num(top + h) + "V" +
                   num(ty - 9) + "\" class=\"t\"/>";
        text(x, ty, s, bEnd ? "end" : "start", " class=\"a\"");
        return;
      }
    };
    for (const Item& item : band.items) {
      if (item.kind == kHole) {
        body_ += "<rect class=\"hole\" x=\"" + num(item.x) + "\" y=\"" +
                 num(top) + "\" width=\"" + num(item.w) + "\" height=\"" +
                 num(h) + "\"><title>" +
                 xml(range(item.first, item.end) + " not written, " +
                     bytes(item.end - item.first)) +
                 "</title></rect>";
        const std::string s = size(item.end - item.first);
        if (textWidth(s) + 6 < item.w)
          text(item.x + item.w / 2, top + h / 2 + 4, s, "middle",
               " class=\"l\"");
        continue;
      }
      if (item.kind == kRun)
        drawRun(item, top, h);
      else
        drawMerged(item, top, h);
      body_ += "\n";
    }
    for (const Item& item : band.items) {
      if (item.kind == kHole) continue;
      label(item.x, hex(item.first), false);
      if (item.end - item.first > 1)
        label(item.x + item.w, hex(item.end - 1), true);
    }
    if (band.items.front().kind == kHole) label(kLeft, hex(band.first), false);
    if (band.items.back().kind == kHole)
      label(kLeft + kBar, hex(band.end - 1), true);
    if (bHasStart_ && iStart_ >= band.first && iStart_ < band.end) {
      for (const Item& item : band.items) {
        if (iStart_ >= item.end) continue;
        const double x = item.x + item.w * (iStart_ - item.first + 0.5) /
                                      (item.end - item.first);
        body_ += "<g><title>start address " + hex(iStart_) +
                 "</title><path d=\"M" + num(x - 6) + " " + num(top - 11) +
                 "h12l-6 10z\" fill=\"#000\"/><path d=\"M" + num(x) + " " +
                 num(top) + "v" + num(h) +
                 "\" stroke=\"#000\" stroke-width=\"2\"/>";
        const bool bLeft = x + 130 > kLeft + kBar;
        text(bLeft ? x - 9 : x + 9, top - 3, "start " + hex(iStart_),
             bLeft ? "end" : "start", " class=\"m\" font-weight=\"bold\"");
        body_ += "</g>\n";
        break;
      }
    }
    return y + kBandHeight;
  }

  const std::vector<gcLayoutInput>& inputs_;
  const Runs& runs_;
  std::vector<std::vector<int>> sets_;
  std::vector<Piece> pieces_;
  std::vector<Band> bands_;
  std::size_t iPiece_ = 0;  // drawing goes up the addresses
  bool bHasStart_ = false, bOverlap_ = false, bMerged_ = false;
  std::uint32_t iStart_ = 0;
  std::string body_;
};

}  // namespace

std::string layoutSvg(const std::vector<gcLayoutInput>& inputs,
                      const std::vector<gcRun>& runs, const gcImageInfo& info) {
  return Drawing(inputs, runs, info).svg();
}
