#include "analysis/character_set.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/core/text.h"

namespace {

// How the bytes of one graphic set become characters.
enum class Form : uint8_t {
  Ascii,     // G0 ISO 646 (IR 6)
  Romaji,    // G0 JIS X 0201 Roman (IR 13); read as ASCII, as the peers do
  Katakana,  // G1 JIS X 0201 half-width katakana (IR 13)
  Single,    // G1 96-character set of an ISO 8859 part or TIS 620, through iconv
  Jis0208,   // G0 double-byte JIS X 0208 (IR 87)
  Jis0212,   // G0 double-byte JIS X 0212 (IR 159)
  DoubleG1,  // G1 double-byte KS X 1001 (IR 149) or GB 2312 (IR 58), through iconv
  Whole,     // a set without code extensions read whole: UTF-8, GB18030, GBK
};

struct Designation {
  Form form;
  const char* iconv;  // for Single, DoubleG1 and Whole
};

constexpr Designation kAscii{Form::Ascii, nullptr};
constexpr Designation kRomaji{Form::Romaji, nullptr};
constexpr Designation kKatakana{Form::Katakana, nullptr};
constexpr Designation kJis0208{Form::Jis0208, "EUC-JP"};
constexpr Designation kJis0212{Form::Jis0212, "EUC-JP"};

// The known sets: the number after "ISO_IR " or "ISO 2022 IR " (or the whole
// defined term), what the set puts into G0 and G1, and the escape sequences
// (the bytes after ESC) that designate those parts within a value.
struct Term {
  const char* name;
  Designation g0;
  bool hasG0;
  Designation g1;
  bool hasG1;
  const char* g0Escape;
  const char* g1Escape;
};

const Term kTerms[] = {
    {"6", kAscii, true, {}, false, "(B", nullptr},
    {"100", {}, false, {Form::Single, "ISO-8859-1"}, true, nullptr, "-A"},
    {"101", {}, false, {Form::Single, "ISO-8859-2"}, true, nullptr, "-B"},
    {"109", {}, false, {Form::Single, "ISO-8859-3"}, true, nullptr, "-C"},
    {"110", {}, false, {Form::Single, "ISO-8859-4"}, true, nullptr, "-D"},
    {"144", {}, false, {Form::Single, "ISO-8859-5"}, true, nullptr, "-L"},
    {"127", {}, false, {Form::Single, "ISO-8859-6"}, true, nullptr, "-G"},
    {"126", {}, false, {Form::Single, "ISO-8859-7"}, true, nullptr, "-F"},
    {"138", {}, false, {Form::Single, "ISO-8859-8"}, true, nullptr, "-H"},
    {"148", {}, false, {Form::Single, "ISO-8859-9"}, true, nullptr, "-M"},
    {"203", {}, false, {Form::Single, "ISO-8859-15"}, true, nullptr, "-b"},
    {"166", {}, false, {Form::Single, "TIS-620"}, true, nullptr, "-T"},
    {"13", kRomaji, true, kKatakana, true, "(J", ")I"},
    {"87", kJis0208, true, {}, false, "$B", nullptr},
    {"159", kJis0212, true, {}, false, "$(D", nullptr},
    {"149", {}, false, {Form::DoubleG1, "EUC-KR"}, true, nullptr, "$)C"},
    {"58", {}, false, {Form::DoubleG1, "GB18030"}, true, nullptr, "$)A"},
    {"192", {Form::Whole, "UTF-8"}, true, {}, false, nullptr, nullptr},
    {"GB18030", {Form::Whole, "GB18030"}, true, {}, false, nullptr, nullptr},
    {"GBK", {Form::Whole, "GBK"}, true, {}, false, nullptr, nullptr},
    // Not a defined term, but written by Chinese equipment for GB 2312 text.
    {"GB2312", {Form::Whole, "GB18030"}, true, {}, false, nullptr, nullptr},
};
constexpr int kTermCount = static_cast<int>(sizeof kTerms / sizeof kTerms[0]);
constexpr int8_t kIr6 = 0, kIr100 = 1;
constexpr int8_t kNoTerm = -1;  // an empty first value: the default repertoire

constexpr uint8_t kEsc = 0x1B;

std::atomic<int32_t> gDecoding{-1};  // -1 until first asked

// The row of a term such as "ISO_IR 100", "ISO 2022 IR 100" or "GB18030";
// -1 when unknown.
int FindTerm(std::string_view term) {
  std::string_view key = term;
  for (std::string_view prefix : {std::string_view("ISO_IR "), std::string_view("ISO 2022 IR ")}) {
    if (term.substr(0, prefix.size()) == prefix) {
      key = term.substr(prefix.size());
      break;
    }
  }
  for (int i = 0; i < kTermCount; ++i)
    if (key == kTerms[i].name) return i;
  return -1;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

void AppendReplacement(std::u16string& out) { out.push_back(u'\uFFFD'); }

void Convert(const char* encoding, const uint8_t* bytes, size_t count, std::u16string& out, bool dropTail) {
  if (!plat::ConvertToWide(encoding, bytes, count, out, dropTail))
    for (size_t i = 0; i < count; ++i) out.push_back(bytes[i] < 0x80 ? bytes[i] : u'\uFFFD');
}

// Whether every 8-bit byte of the value belongs to a GB2312 double-byte
// character (lead 0xA1..0xF7, trail 0xA1..0xFE), and there is at least one.
// A clipped value may end in a lead byte whose trail was cut off.
bool LooksLikeGb2312(const uint8_t* b, size_t n, bool clipped) {
  bool any = false;
  for (size_t i = 0; i < n; ++i) {
    if (b[i] < 0x80) continue;
    if (b[i] < 0xA1 || b[i] > 0xF7) return false;
    if (i + 1 == n) return clipped;
    if (b[i + 1] < 0xA1 || b[i + 1] > 0xFE) return false;
    any = true;
    ++i;
  }
  return any;
}

// The ISO 2022 decoder: G0 and G1 as the first term sets them, switched by
// escape sequences, and set back at the delimiters after which the standard
// has the first term's sets active again.
class Iso2022Decoder {
 public:
  Iso2022Decoder(const CharacterSet& set, VrCode vr, bool clipped) : clipped_(clipped) {
    const int first = set.count > 0 ? set.terms[0] : kNoTerm;
    if (first >= 0 && kTerms[first].hasG0) initialG0_ = kTerms[first].g0;
    if (first >= 0 && kTerms[first].hasG1) initialG1_ = &kTerms[first].g1;
    personName_ = vr == vr::PN;
    // Text values of one value only: a backslash is a character there.
    multiValued_ = !(vr == vr::LT || vr == vr::ST || vr == vr::UT);
    Reset();
  }

  std::u16string Decode(const uint8_t* b, size_t n) {
    std::u16string out;
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
      const uint8_t c = b[i];
      if (c == kEsc) {
        i = Escape(b, n, i, out);
      } else if (c >= 0x80) {
        i = HighRun(b, n, i, out);
      } else if (DoubleByteG0() && c >= 0x21 && c <= 0x7E) {
        i = DoubleG0Run(b, n, i, out);
      } else {
        if (IsDelimiter(c)) Reset();
        out.push_back(c);
        ++i;
      }
    }
    return out;
  }

 private:
  bool DoubleByteG0() const { return g0_.form == Form::Jis0208 || g0_.form == Form::Jis0212; }

  bool IsDelimiter(uint8_t c) const {
    if (c == '\r' || c == '\n' || c == '\t' || c == '\f') return true;
    if (c == '\\') return multiValued_;
    return personName_ && (c == '^' || c == '=');
  }

  void Reset() {
    g0_ = initialG0_;
    g1_ = initialG1_;
  }

  size_t Escape(const uint8_t* b, size_t n, size_t i, std::u16string& out) {
    const std::string_view rest(reinterpret_cast<const char*>(b + i + 1), n - i - 1);
    for (const Term& term : kTerms) {
      if (term.g0Escape != nullptr && rest.substr(0, std::strlen(term.g0Escape)) == term.g0Escape) {
        g0_ = term.g0;
        return i + 1 + std::strlen(term.g0Escape);
      }
      if (term.g1Escape != nullptr && rest.substr(0, std::strlen(term.g1Escape)) == term.g1Escape) {
        g1_ = &term.g1;
        return i + 1 + std::strlen(term.g1Escape);
      }
    }
    // An escape sequence cut off by the end of a clipped text says nothing.
    if (!(clipped_ && n - i <= 4)) AppendReplacement(out);
    return i + 1;
  }

  // Bytes of the upper half, read with G1.
  size_t HighRun(const uint8_t* b, size_t n, size_t i, std::u16string& out) {
    size_t j = i;
    while (j < n && b[j] >= 0x80) ++j;
    const bool atEnd = j == n;
    if (g1_ == nullptr) {
      for (size_t k = i; k < j; ++k) AppendReplacement(out);
    } else if (g1_->form == Form::Katakana) {
      for (size_t k = i; k < j; ++k) {
        if (b[k] >= 0xA1 && b[k] <= 0xDF) out.push_back(static_cast<char16_t>(0xFF61 + (b[k] - 0xA1)));
        else AppendReplacement(out);
      }
    } else {
      Convert(g1_->iconv, b + i, j - i, out, clipped_ && atEnd);
    }
    return j;
  }

  // A run of 7-bit bytes in a double-byte G0 set, read pair by pair as the
  // EUC-JP form of the same characters.
  size_t DoubleG0Run(const uint8_t* b, size_t n, size_t i, std::u16string& out) {
    size_t j = i;
    while (j < n && b[j] >= 0x21 && b[j] <= 0x7E) ++j;
    std::string euc;
    euc.reserve((j - i) / 2 * 3);
    size_t k = i;
    for (; k + 1 < j; k += 2) {
      if (g0_.form == Form::Jis0212) euc.push_back(static_cast<char>(0x8F));
      euc.push_back(static_cast<char>(b[k] | 0x80));
      euc.push_back(static_cast<char>(b[k + 1] | 0x80));
    }
    Convert(g0_.iconv, reinterpret_cast<const uint8_t*>(euc.data()), euc.size(), out, false);
    if (k < j && !(clipped_ && j == n)) AppendReplacement(out);  // a lone byte
    return j;
  }

  bool clipped_;
  bool personName_ = false;
  bool multiValued_ = true;
  Designation initialG0_ = kAscii;
  const Designation* initialG1_ = nullptr;
  Designation g0_ = kAscii;
  const Designation* g1_ = nullptr;
};

}  // namespace

TextDecoding CurrentTextDecoding() {
  int32_t mode = gDecoding.load(std::memory_order_relaxed);
  if (mode < 0) {
    const char* forced = std::getenv("TESMER_CODEPAGE");
    mode = static_cast<int32_t>(forced != nullptr && *forced != '\0' ? TextDecoding::CodePage : TextDecoding::Declared);
    int32_t unset = -1;
    if (!gDecoding.compare_exchange_strong(unset, mode)) mode = unset;
  }
  return static_cast<TextDecoding>(mode);
}

void SetTextDecoding(TextDecoding mode) { gDecoding.store(static_cast<int32_t>(mode)); }

CharacterSet ParseCharacterSet(const uint8_t* value, size_t count) {
  CharacterSet set;
  if (value == nullptr || count == 0) return set;
  std::string_view text(reinterpret_cast<const char*>(value), count);
  const size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  bool first = true;
  while (set.count < CharacterSet::kMaxTerms) {
    const size_t slash = text.find('\\');
    const std::string_view term = Trimmed(text.substr(0, slash));
    if (first) {
      // An empty first value is the default repertoire; an unknown one makes
      // the declaration useless, and the value is read as undeclared.
      const int row = term.empty() ? kNoTerm : FindTerm(term);
      if (row < 0 && !term.empty()) return CharacterSet{};
      set.terms[set.count++] = static_cast<int8_t>(row);
    } else if (const int row = FindTerm(term); row >= 0) {
      set.terms[set.count++] = static_cast<int8_t>(row);  // unknown extensions are left out
    }
    first = false;
    if (slash == std::string_view::npos) break;
    text.remove_prefix(slash + 1);
  }
  // A single empty value declares nothing.
  set.declared = !(set.count == 1 && set.terms[0] == kNoTerm);
  return set;
}

bool FollowsCharacterSet(VrCode code) {
  switch (code) {
    case vr::SH: case vr::LO: case vr::ST: case vr::LT: case vr::UT: case vr::PN: case vr::UC:
      return true;
    default:
      return false;
  }
}

std::u16string DecodeText(const uint8_t* bytes, size_t count, const CharacterSet& set, VrCode vr, bool clipped) {
  std::u16string out;
  if (bytes == nullptr || count == 0) return out;
  const void* zero = std::memchr(bytes, 0, count);
  if (zero != nullptr) {
    count = static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes);
    clipped = false;
  }
  if (!set.declared) return plat::MultiByteToWide(bytes, count);

  const int first = set.terms[0];
  // Most values are plain ASCII, which every set reads alike, unless it
  // starts in a double-byte G0 set.
  const Form startG0 = first >= 0 ? kTerms[first].g0.form : Form::Ascii;
  const bool doubleByteStart = startG0 == Form::Jis0208 || startG0 == Form::Jis0212;
  if (!doubleByteStart) {
    size_t i = 0;
    while (i < count && bytes[i] < 0x80 && bytes[i] != kEsc) ++i;
    if (i == count) return std::u16string(bytes, bytes + count);
  }
  if (first >= 0 && kTerms[first].g0.form == Form::Whole && kTerms[first].hasG0) {
    Convert(kTerms[first].g0.iconv, bytes, count, out, clipped);
    return out;
  }
  // GB2312 bytes under a Latin declaration: the code page's reading.
  if (set.count == 1 && (first == kIr6 || first == kIr100) && std::memchr(bytes, kEsc, count) == nullptr &&
      LooksLikeGb2312(bytes, count, clipped)) {
    const bool cutLead = clipped && count > 0 && bytes[count - 1] >= 0x80 && !LooksLikeGb2312(bytes, count, false);
    return plat::MultiByteToWide(bytes, cutLead ? count - 1 : count);
  }
  // ISO_IR 6 says ASCII; other 8-bit bytes under it are read as Latin-1.
  CharacterSet effective = set;
  if (set.count == 1 && first == kIr6) effective.terms[0] = kIr100;
  return Iso2022Decoder(effective, vr, clipped).Decode(bytes, count);
}
