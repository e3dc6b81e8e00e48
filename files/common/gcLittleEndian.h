// Internal: little-endian fields of the binary formats.
#ifndef DWXFILES_GCLITTLEENDIAN_H_
#define DWXFILES_GCLITTLEENDIAN_H_

#include <cstdint>

inline std::uint32_t getLe(const unsigned char* p, int iBytes) {
  std::uint32_t v = 0;
  for (int i = iBytes; i-- > 0;) v = v << 8 | p[i];
  return v;
}

// Returns the byte after the field.
inline unsigned char* putLe(unsigned char* p, std::uint32_t v, int iBytes) {
  for (int i = 0; i < iBytes; ++i, v >>= 8)
    *p++ = static_cast<unsigned char>(v);
  return p;
}

#endif  // DWXFILES_GCLITTLEENDIAN_H_
