#include "gcChecksum.h"

#include <dlfcn.h>
#include <gcrypt.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

typedef gcChecksumAlgorithm A;

constexpr gcCrcParameters kIsoHdlc = {32,   0x04C11DB7, 0xFFFFFFFF,
                                      true, true,       0xFFFFFFFF};
constexpr gcCrcParameters kMpeg2 = {32,    0x04C11DB7, 0xFFFFFFFF,
                                    false, false,      0};

bool operator==(const gcCrcParameters& a, const gcCrcParameters& b) {
  return a.iBits == b.iBits && a.iPoly == b.iPoly && a.iInit == b.iInit &&
         a.bRefIn == b.bRefIn && a.bRefOut == b.bRefOut &&
         a.iXorOut == b.iXorOut;
}

// libgcrypt, loaded at the first digest: a process that computes none maps
// none of it (0.38 MiB resident with libgpg-error, over a third of a small
// conversion's own memory). Loaded once, never unloaded.
struct Gcrypt {
  decltype(&gcry_md_open) open = nullptr;
  decltype(&gcry_md_close) close = nullptr;
  decltype(&gcry_md_write) write = nullptr;
  decltype(&gcry_md_read) read = nullptr;
  decltype(&gcry_md_algo_name) name = nullptr;
  std::string sMissing;  // why the digests are not there, or empty
};

template <class F>
void bind(void* pLibrary, const char* pName, F* pFunction, bool* pAll) {
  *pFunction = reinterpret_cast<F>(dlsym(pLibrary, pName));
  *pAll = *pAll && *pFunction != nullptr;
}

const Gcrypt& gcrypt() {
  static const Gcrypt g = [] {
    constexpr const char* kLibrary = "libgcrypt.so.20";
    Gcrypt g;
    void* pLibrary = dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    decltype(&gcry_check_version) check = nullptr;
    bool bAll = pLibrary != nullptr;
    if (bAll) {
      bind(pLibrary, "gcry_check_version", &check, &bAll);
      bind(pLibrary, "gcry_md_open", &g.open, &bAll);
      bind(pLibrary, "gcry_md_close", &g.close, &bAll);
      bind(pLibrary, "gcry_md_write", &g.write, &bAll);
      bind(pLibrary, "gcry_md_read", &g.read, &bAll);
      bind(pLibrary, "gcry_md_algo_name", &g.name, &bAll);
    }
    // A library is to ask libgcrypt for its version before anything else.
    if (!bAll || check(nullptr) == nullptr) {
      const char* pWhy = dlerror();
      g.sMissing = std::string("the digests need ") + kLibrary +
                   ", which cannot be loaded" + (pWhy ? ": " : "") +
                   (pWhy ? pWhy : "");
    }
    return g;
  }();
  return g;
}

std::vector<A> makeAlgorithms() {
  std::vector<A> all;
  auto both = [&](const std::string& name, A::Kind kind, unsigned width,
                  gcCrcParameters crc = {}) {
    all.push_back({name + "-le", kind, width, false, crc});
    all.push_back({name + "-be", kind, width, true, crc});
  };
  both("crc32", A::kCrc32, 4, kIsoHdlc);
  both("stm32", A::kStm32, 4, kMpeg2);
  both("crc16-xmodem", A::kCrc, 2, {16, 0x1021, 0, false, false, 0});
  both("crc16-ccitt", A::kCrc, 2, {16, 0x1021, 0xFFFF, false, false, 0});
  both("crc16-aug", A::kCrc, 2, {16, 0x1021, 0x1D0F, false, false, 0});
  for (auto [prefix, kind] :
       {std::pair{"", A::kSum}, std::pair{"neg", A::kNegSum},
        std::pair{"not", A::kNotSum}}) {
    all.push_back({std::string(prefix) + "sum8", kind, 1, false, {}});
    both(std::string(prefix) + "sum16", kind, 2);
    both(std::string(prefix) + "sum32", kind, 4);
  }
  both("adler16", A::kAdler16, 2);
  both("adler32", A::kAdler32, 4);
  both("fletcher16", A::kFletcher16, 2);
  both("fletcher32", A::kFletcher32, 4);
  // Each digest's length, as libgcrypt gives it, without loading it.
  struct Digest {
    const char* pName;
    int id;
    unsigned int iBytes;
  };
  for (const Digest& d :
       {Digest{"md5", GCRY_MD_MD5, 16}, Digest{"sha1", GCRY_MD_SHA1, 20},
        Digest{"sha224", GCRY_MD_SHA224, 28},
        Digest{"sha256", GCRY_MD_SHA256, 32},
        Digest{"sha384", GCRY_MD_SHA384, 48},
        Digest{"sha512", GCRY_MD_SHA512, 64},
        Digest{"rmd160", GCRY_MD_RMD160, 20},
        Digest{"tiger", GCRY_MD_TIGER, 24},
        Digest{"whirlpool", GCRY_MD_WHIRLPOOL, 64}}) {
    A a{d.pName, A::kDigest, d.iBytes, false, {}};
    a.iDigest = d.id;
    all.push_back(a);
  }
  for (auto [name, kind] :
       {std::pair{"length", A::kLength}, std::pair{"lowest", A::kLowest},
        std::pair{"end", A::kEnd}}) {
    both(std::string(name) + "16", kind, 2);
    both(std::string(name) + "32", kind, 4);
  }
  return all;
}

// What each of our kinds computes, for people.
std::string explain(const A& a) {
  switch (a.kind) {
    case A::kStm32:
      return "CRC-32/MPEG-2 over 32-bit little-endian words (STM32 CRC unit)";
    case A::kLength:
      return "the number of bytes from FIRST to LAST, holes included";
    case A::kLowest:
      return "the lowest written address from FIRST to LAST";
    case A::kEnd:
      return "the highest written address from FIRST to LAST, plus one";
    case A::kSum:
      return "the sum of the bytes";
    case A::kNegSum:
      return "the sum's two's complement";
    case A::kNotSum:
      return "the sum's one's complement";
    case A::kAdler16:
      return "Adler-16 as srec_cat: sums modulo 251, B * 256 + A";
    case A::kAdler32:
      return "Adler-32, as zlib's adler32";
    case A::kFletcher16:
      return "Fletcher-16 as srec_cat: sums of bytes modulo 255, "
             "sum1 * 256 + sum2";
    case A::kFletcher32:
      return "Fletcher-32 as srec_cat: sums of bytes from 0xffff modulo "
             "65535, sum2 * 65536 + sum1";
    case A::kDigest:
      return std::string(gcrypt().name ? gcrypt().name(a.iDigest) : "") +
             " digest (" + std::to_string(a.iWidth) + " bytes, libgcrypt)";
    default:
      return "";
  }
}

std::string lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> split(const std::string& s, char by) {
  std::vector<std::string> parts;
  for (std::size_t at = 0, end; at <= s.size(); at = end + 1) {
    end = std::min(s.find(by, at), s.size());
    parts.push_back(s.substr(at, end - at));
  }
  return parts;
}

std::string hexOf(std::uint64_t v, unsigned int iBits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llx",
                static_cast<int>((iBits + 3) / 4),
                static_cast<unsigned long long>(v));
  return text;
}

// "width=16,poly=0x8005,..." inside "crc(...)"; init, refin, refout and
// xorout default to 0 and false.
bool parseParameters(const std::string& sText, gcCrcParameters* p,
                     std::string* pWhy) {
  *p = {};
  bool bWidth = false, bPoly = false;
  std::vector<std::string> seen;
  for (const std::string& item : split(sText, ',')) {
    const std::size_t eq = item.find('=');
    const std::string key = item.substr(0, eq);
    const std::string value =
        eq == std::string::npos ? "" : item.substr(eq + 1);
    if (std::find(seen.begin(), seen.end(), key) != seen.end())
      return *pWhy = key + " given twice", false;
    seen.push_back(key);
    if (key == "refin" || key == "refout") {
      if (value != "true" && value != "false")
        return *pWhy = key + " must be true or false", false;
      (key == "refin" ? p->bRefIn : p->bRefOut) = value == "true";
      continue;
    }
    std::uint64_t* pValue = key == "width"    ? nullptr
                            : key == "poly"   ? &p->iPoly
                            : key == "init"   ? &p->iInit
                            : key == "xorout" ? &p->iXorOut
                                              : nullptr;
    if (pValue == nullptr && key != "width")
      return *pWhy = "unknown parameter '" + key + "'", false;
    std::uint64_t v = 0;
    if (parseUnsigned(value, &v) != kNumber)
      return *pWhy = "bad number '" + value + "' for " + key, false;
    if (pValue == nullptr)
      p->iBits = static_cast<unsigned>(std::min<std::uint64_t>(v, 65)),
      bWidth = true;
    else
      *pValue = v, bPoly = bPoly || pValue == &p->iPoly;
  }
  if (!bWidth || !bPoly) return *pWhy = "width and poly are needed", false;
  if (p->iBits < 1 || p->iBits > 64)
    return *pWhy = "width must be 1 to 64", false;
  const std::uint64_t mask = ~std::uint64_t{0} >> (64 - p->iBits);
  for (auto [name, v] :
       {std::pair{"poly", p->iPoly}, std::pair{"init", p->iInit},
        std::pair{"xorout", p->iXorOut}})
    if ((v & ~mask) != 0)
      return *pWhy = std::string(name) + " " + hexOf(v, 0) +
                     " does not fit in " + std::to_string(p->iBits) + " bits",
             false;
  return true;
}

const gcCrcModel* findModel(const std::string& sLowerName) {
  std::size_t n = 0;
  const gcCrcModel* pModels = crcCatalogue(&n);
  for (std::size_t i = 0; i < n; ++i)
    for (const std::string& alias : split(lower(pModels[i].sNames), '|'))
      if (alias == sLowerName) return &pModels[i];
  return nullptr;
}

const gcCrcModel* findModel(const gcCrcParameters& p) {
  std::size_t n = 0;
  const gcCrcModel* pModels = crcCatalogue(&n);
  for (std::size_t i = 0; i < n; ++i)
    if (pModels[i].parameters == p) return &pModels[i];
  return nullptr;
}

std::string describe(const gcCrcParameters& p) {
  auto flag = [](bool b) { return b ? "true" : "false"; };
  return "width=" + std::to_string(p.iBits) +
         " poly=" + hexOf(p.iPoly, p.iBits) +
         " init=" + hexOf(p.iInit, p.iBits) + " refin=" + flag(p.bRefIn) +
         " refout=" + flag(p.bRefOut) + " xorout=" + hexOf(p.iXorOut, p.iBits);
}

// Letters and digits only: how a user may mistake one name for another.
std::string skeleton(const std::string& s) {
  std::string k;
  for (char c : lower(s))
    if (std::isalnum(static_cast<unsigned char>(c))) k += c;
  return k;
}

}  // namespace

const std::vector<gcChecksumAlgorithm>& checksumAlgorithms() {
  static const std::vector<gcChecksumAlgorithm> all = makeAlgorithms();
  return all;
}

bool findChecksum(const std::string& sName, gcChecksumAlgorithm* pOut,
                  std::string* pWhy) {
  const std::string name = lower(sName);
  for (const gcChecksumAlgorithm& a : checksumAlgorithms()) {
    if (a.sName != name) continue;
    if (a.kind == A::kDigest && !gcrypt().sMissing.empty()) {
      *pWhy = "checksum '" + sName + "': " + gcrypt().sMissing;
      return false;
    }
    return *pOut = a, true;
  }
  std::string base = name;
  int order = -1;  // none, else big-endian
  if (name.size() > 3 && (name.compare(name.size() - 3, 3, "-le") == 0 ||
                          name.compare(name.size() - 3, 3, "-be") == 0)) {
    base = name.substr(0, name.size() - 3);
    order = name[name.size() - 2] == 'b';
  }
  gcChecksumAlgorithm a{sName, A::kCrc, 0, order == 1, {}};
  if (base.compare(0, 4, "crc(") == 0 && base.back() == ')') {
    if (!parseParameters(base.substr(4, base.size() - 5), &a.crc, pWhy)) {
      *pWhy = "bad CRC parameters '" + sName + "': " + *pWhy;
      return false;
    }
  } else if (const gcCrcModel* pModel = findModel(base)) {
    a.crc = pModel->parameters;
  } else {
    *pWhy = "unknown checksum '" + sName + "'";
    return false;
  }
  a.iWidth = (a.crc.iBits + 7) / 8;
  if (order < 0 && a.iWidth > 1) {
    *pWhy = "checksum '" + sName + "' needs -le or -be (the byte order)";
    return false;
  }
  if (a.crc == kIsoHdlc) a.kind = A::kCrc32;
  *pOut = a;
  return true;
}

std::string describeChecksums() {
  static const unsigned char kCheck[] = "123456789";
  std::ostringstream out;
  out << "Our names (-le, -be: the byte order written; check: the value over "
         "\"123456789\"):\n";
  const auto& ours = checksumAlgorithms();
  std::vector<std::string> notes;
  for (std::size_t i = 0; i < ours.size(); ++i) {
    const A& a = ours[i];
    const bool bPair = i + 1 < ours.size() && !a.bBigEndian &&
                       ours[i + 1].bBigEndian && a.iWidth > 1;
    std::string names = a.sName;
    if (bPair) names += ", -be", ++i;
    std::string what;
    if (a.kind == A::kCrc32 || a.kind == A::kCrc) {
      const gcCrcModel* pModel = findModel(a.crc);
      const std::string model = split(pModel->sNames, '|')[0];
      what = model + (a.kind == A::kCrc32 ? ", zlib's crc32" : "");
      const std::string base = a.sName.substr(0, a.sName.size() - 3);
      std::size_t n = 0;
      const gcCrcModel* pAll = crcCatalogue(&n);
      for (std::size_t m = 0; m < n; ++m)
        for (const std::string& alias : split(pAll[m].sNames, '|'))
          if (&pAll[m] != pModel && skeleton(alias) == skeleton(base))
            notes.push_back("  " + base + " is " + model +
                            "; the catalogue's " + alias + " is " +
                            split(pAll[m].sNames, '|')[0] + ", another CRC\n");
    } else {
      what = explain(a);
    }
    if (a.kind != A::kStm32 && a.kind != A::kDigest && a.kind < A::kLowest) {
      std::uint64_t v = 9;
      if (a.kind != A::kLength) {
        gcChecksumState state(a);
        state.add(kCheck, 9);
        v = state.value();
      }
      what += ", check " + hexOf(v, 8 * a.iWidth);
    }
    out << "  " << names
        << std::string(names.size() < 22 ? 22 - names.size() : 1, ' ') << what
        << "\n";
  }
  for (const std::string& note : notes) out << note;
  out << "The catalogue of CRCs (any case; add -le or -be, optional up to 8 "
         "bits; the value\nright-aligned in whole bytes):\n";
  std::size_t n = 0;
  const gcCrcModel* pModels = crcCatalogue(&n);
  for (std::size_t m = 0; m < n; ++m) {
    const std::vector<std::string> names = split(lower(pModels[m].sNames), '|');
    out << "  " << names[0]
        << std::string(names[0].size() < 25 ? 25 - names[0].size() : 1, ' ')
        << describe(pModels[m].parameters)
        << " check=" << hexOf(pModels[m].iCheck, pModels[m].parameters.iBits);
    for (std::size_t k = 1; k < names.size(); ++k)
      out << (k == 1 ? "  also " : ", ") << names[k];
    out << "\n";
  }
  out << "Any other CRC by its parameters (init, refin, refout, xorout default "
         "to 0, false):\n"
         "  crc(width=16,poly=0x8005,init=0xffff,refin=true,refout=true,"
         "xorout=0x0000)-le\n";
  return out.str();
}

gcChecksumState::gcChecksumState(const gcChecksumAlgorithm& a)
    : algorithm(a),
      digest(nullptr),
      iCrc(0),
      iSum(0),
      iSum2(0),
      bNonZero(false),
      partial(),
      iPartial(0) {
  if (a.kind == A::kCrc32) {
    iCrc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
  } else if (a.kind == A::kAdler32) {
    iCrc = static_cast<std::uint32_t>(adler32(0, Z_NULL, 0));
  } else if (a.kind == A::kAdler16) {
    iSum = 1;
  } else if (a.kind == A::kFletcher32) {
    iSum = iSum2 = 0xFFFF, bNonZero = true;
  } else if (a.kind == A::kCrc || a.kind == A::kStm32) {
    engine = std::make_unique<gcCrcEngine>(a.crc);
  } else if (a.kind == A::kDigest) {
    if (!gcrypt().open || gcrypt().open(&digest, a.iDigest, 0) != 0)
      throw std::bad_alloc();
  }
}

gcChecksumState::~gcChecksumState() {
  if (digest != nullptr) gcrypt().close(digest);
}

// Sums of the bytes and of those sums, reduced often enough for 64 bits.
void gcChecksumState::addSums(const unsigned char* p, std::size_t n) {
  const unsigned int modulus = algorithm.kind == A::kAdler16      ? 251
                               : algorithm.kind == A::kFletcher16 ? 255
                                                                  : 65535;
  while (n > 0) {
    const std::size_t k = std::min<std::size_t>(n, 1 << 16);
    std::uint64_t a = iSum, b = iSum2;
    unsigned int any = 0;
    for (std::size_t i = 0; i < k; ++i) a += p[i], b += a, any |= p[i];
    iSum = a % modulus, iSum2 = b % modulus;
    bNonZero = bNonZero || any != 0;
    p += k, n -= k;
  }
}

// The unit reads little-endian words and shifts each in MSB first: the
// bytes of a word go in reversed.
void gcChecksumState::addWords(const unsigned char* p, std::size_t n) {
  unsigned char swapped[256];
  while (n > 0) {
    const std::size_t k = std::min(n, sizeof swapped);
    for (std::size_t i = 0; i < k; i += 4)
      for (int b = 0; b < 4; ++b) swapped[i + b] = p[i + 3 - b];
    engine->add(swapped, k);
    p += k, n -= k;
  }
}

void gcChecksumState::add(const unsigned char* p, std::size_t n) {
  switch (algorithm.kind) {
    case A::kCrc32:
      while (n > 0) {  // zlib takes an unsigned int length
        const auto piece =
            static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
        iCrc = static_cast<std::uint32_t>(crc32(iCrc, p, piece));
        p += piece, n -= piece;
      }
      return;
    case A::kStm32:
      while (n > 0 && iPartial != 0) {  // iPartial < 4: the mask says so
        partial[iPartial & 3] = *p++, --n;
        if (++iPartial == 4) addWords(partial, 4), iPartial = 0;
      }
      addWords(p, n & ~std::size_t{3});
      p += n & ~std::size_t{3};
      n &= 3;
      std::memcpy(partial, p, n);
      iPartial = static_cast<unsigned>(n);
      return;
    case A::kCrc:
      engine->add(p, n);
      return;
    case A::kAdler32:
      while (n > 0) {
        const auto piece =
            static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
        iCrc = static_cast<std::uint32_t>(adler32(iCrc, p, piece));
        p += piece, n -= piece;
      }
      return;
    case A::kAdler16:
    case A::kFletcher16:
    case A::kFletcher32:
      addSums(p, n);
      return;
    case A::kDigest:
      gcrypt().write(digest, p, n);
      return;
    default: {
      std::uint64_t s = 0;
      for (std::size_t i = 0; i < n; ++i) s += p[i];
      iSum += s;
    }
  }
}

std::uint64_t gcChecksumState::value() const {
  const std::uint64_t mask = ~std::uint64_t{0} >> (64 - 8 * algorithm.iWidth);
  switch (algorithm.kind) {
    case A::kSum:
      return iSum & mask;
    case A::kNegSum:
      return (0 - iSum) & mask;
    case A::kNotSum:
      return ~iSum & mask;
    case A::kCrc32:
    case A::kAdler32:
      return iCrc;
    case A::kAdler16:
      return iSum2 << 8 | iSum;
    case A::kFletcher16:
    case A::kFletcher32: {
      // Ones' complement sums: a multiple of the modulus but zero is all ones.
      const unsigned int bits = 4 * algorithm.iWidth;
      const std::uint64_t ones = (std::uint64_t{1} << bits) - 1;
      const std::uint64_t s1 = iSum == 0 && bNonZero ? ones : iSum;
      const std::uint64_t s2 = iSum2 == 0 && bNonZero ? ones : iSum2;
      return algorithm.kind == A::kFletcher16 ? s1 << 8 | s2 : s2 << 16 | s1;
    }
    case A::kCrc:
    case A::kStm32:
      return engine->value();
    default:
      return 0;
  }
}

std::vector<unsigned char> gcChecksumState::bytes() const {
  std::vector<unsigned char> out(algorithm.iWidth);
  if (algorithm.kind == A::kDigest) {
    const unsigned char* p = gcrypt().read(digest, algorithm.iDigest);
    out.assign(p, p + algorithm.iWidth);
  } else {
    storeValue(value(), algorithm.iWidth, algorithm.bBigEndian, out.data());
  }
  return out;
}

gcNumberParse parseUnsigned(const std::string& sText, std::uint64_t* pValue) {
  const bool bHex = sText.size() > 2 && sText[0] == '0' &&
                    (sText[1] == 'x' || sText[1] == 'X');
  const std::string digits = bHex ? sText.substr(2) : sText;
  if (digits.empty() ||
      digits.find_first_not_of(bHex ? "0123456789abcdefABCDEF"
                                    : "0123456789") != std::string::npos)
    return kNotNumber;
  const unsigned int base = bHex ? 16 : 10;
  std::uint64_t v = 0;
  for (char c : digits) {
    const auto d = static_cast<unsigned>(
        std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                    : (c | 0x20) - 'a' + 10);
    if (v > (~std::uint64_t{0} - d) / base) return kTooBig;
    v = v * base + d;
  }
  *pValue = v;
  return kNumber;
}

void storeValue(std::uint64_t v, unsigned int w, bool bBigEndian,
                unsigned char* pOut) {
  for (unsigned int i = 0; i < w; ++i)
    pOut[bBigEndian ? w - 1 - i : i] = static_cast<unsigned char>(v >> 8 * i);
}
