// The one bounded reader for outside bytes (ticket text and byte stream,
// DER, JSON, Base64). It is a non-owning view: a pointer and the bytes that
// remain. Every read checks first, advances only on success and leaves the
// reader untouched on failure; length-prefixed parts become sub-readers.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// DER tags (X.690 8.x) that the parsers and builders of this library meet.
constexpr uint8_t kDerInteger = 0x02;
constexpr uint8_t kDerBitString = 0x03;
constexpr uint8_t kDerOctetString = 0x04;
constexpr uint8_t kDerOid = 0x06;
constexpr uint8_t kDerUtcTime = 0x17;
constexpr uint8_t kDerGeneralizedTime = 0x18;
constexpr uint8_t kDerSequence = 0x30;
constexpr uint8_t kDerSet = 0x31;
// Long-form length: this bit set, the low bits count the length bytes.
constexpr uint8_t kDerLongForm = 0x80;

class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const void* data, size_t len)
      : p_(static_cast<const uint8_t*>(data)), left_(data ? len : 0) {}

  size_t remaining() const { return left_; }
  bool empty() const { return left_ == 0; }
  const uint8_t* data() const { return p_; }

  // Looks at the next byte without consuming it.
  bool peek_u8(uint8_t* out) const {
    if (left_ < 1) return false;
    *out = p_[0];
    return true;
  }

  // The byte `i` places ahead, without consuming anything (for parsers that
  // address their input by position, such as the JSON tokenizer).
  bool peek_at(size_t i, uint8_t* out) const {
    if (i >= left_) return false;
    *out = p_[i];
    return true;
  }

  // Position of the first byte equal to `c`, searched from `from` on.
  bool find_u8(uint8_t c, size_t from, size_t* at) const {
    if (from >= left_) return false;
    const void* hit = memchr(p_ + from, c, left_ - from);
    if (hit == nullptr) return false;
    *at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - p_);
    return true;
  }

  // Position of the first byte, searched from `from` on, for which `stop`
  // holds; remaining() when there is none.
  template <typename Stop>
  size_t find_if(size_t from, Stop stop) const {
    size_t i = from;
    while (i < left_ && !stop(p_[i])) ++i;
    return i;
  }

  // Position of the first byte equal to `a`, `b` or `c`, searched from
  // `from` on; remaining() when there is none. Eight bytes are tested per
  // step: the zero bytes of (w ^ x*ones) are the bytes equal to x, and the
  // lowest flag of the zero-byte test is exact (only bytes above a true
  // zero can be flagged falsely), so it gives the first match's place.
  size_t find_any_of(size_t from, uint8_t a, uint8_t b, uint8_t c) const {
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the word scan reads the lowest byte first");
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHighs = 0x8080808080808080ull;
    auto zeros = [](uint64_t w) { return (w - kOnes) & ~w & kHighs; };
    size_t i = from;
#if defined(__SSE2__)
    // Sixteen bytes a step where the vector unit is there: one compare per
    // wanted byte, and the mask's lowest bit is the first match.
    const __m128i va = _mm_set1_epi8(static_cast<char>(a)), vb = _mm_set1_epi8(static_cast<char>(b)),
                  vc = _mm_set1_epi8(static_cast<char>(c));
    for (; i < left_ && left_ - i >= sizeof(__m128i); i += sizeof(__m128i)) {
      const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_ + i));
      const __m128i eq = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(w, va), _mm_cmpeq_epi8(w, vb)), _mm_cmpeq_epi8(w, vc));
      const unsigned hit = static_cast<unsigned>(_mm_movemask_epi8(eq));
      if (hit != 0) return i + static_cast<size_t>(__builtin_ctz(hit));
    }
#endif
    for (; i < left_ && left_ - i >= sizeof(uint64_t); i += sizeof(uint64_t)) {
      uint64_t w = 0;
      memcpy(&w, p_ + i, sizeof w);
      const uint64_t hit = zeros(w ^ (kOnes * a)) | zeros(w ^ (kOnes * b)) | zeros(w ^ (kOnes * c));
      if (hit != 0) return i + static_cast<size_t>(__builtin_ctzll(hit)) / 8;
    }
    for (; i < left_; ++i)
      if (p_[i] == a || p_[i] == b || p_[i] == c) return i;
    return left_;
  }

  // A view of `n` bytes starting `off` bytes ahead, without consuming.
  bool view(size_t off, size_t n, ByteReader* out) const {
    if (off > left_ || n > left_ - off) return false;
    *out = ByteReader(p_ + off, n);
    return true;
  }

  bool get_u8(uint8_t* out) {
    if (left_ < 1) return false;
    *out = p_[0];
    advance(1);
    return true;
  }

  bool get_u16be(uint16_t* out) {
    if (left_ < 2) return false;
    *out = static_cast<uint16_t>((p_[0] << 8) | p_[1]);
    advance(2);
    return true;
  }

  bool get_u32be(uint32_t* out) {
    if (left_ < 4) return false;
    *out = (uint32_t{p_[0]} << 24) | (uint32_t{p_[1]} << 16) | (uint32_t{p_[2]} << 8) | p_[3];
    advance(4);
    return true;
  }

  // Hands out the next `n` bytes as a pointer into the input.
  bool get_bytes(size_t n, const uint8_t** out) {
    if (left_ < n) return false;
    *out = p_;
    advance(n);
    return true;
  }

  bool copy_bytes(void* out, size_t n) {
    if (left_ < n) return false;
    if (n) memcpy(out, p_, n);
    advance(n);
    return true;
  }

  // The next `n` bytes as a reader of their own.
  bool get_sub(size_t n, ByteReader* out) {
    if (left_ < n) return false;
    *out = ByteReader(p_, n);
    advance(n);
    return true;
  }

  bool skip(size_t n) {
    if (left_ < n) return false;
    advance(n);
    return true;
  }

  // One DER element with a single-byte tag and a definite length of at
  // most four length bytes: `tag` gets its tag, `contents` its contents and
  // `element` (optional) the whole element with header. The length must be
  // in its shortest form (X.690 10.1): an indefinite length, a long form for
  // a length below 128 and a leading zero length byte are refused.
  bool get_der_any(uint8_t* tag, ByteReader* contents, ByteReader* element = nullptr) {
    ByteReader r = *this;
    uint8_t t = 0, l = 0;
    if (!r.get_u8(&t) || (t & 0x1F) == 0x1F || !r.get_u8(&l)) return false;
    size_t len = l;
    if (l & kDerLongForm) {
      const uint8_t n = l & 0x7F;
      if (n == 0 || n > 4) return false;
      len = 0;
      for (uint8_t i = 0; i < n; ++i) {
        uint8_t b = 0;
        if (!r.get_u8(&b) || (i == 0 && b == 0)) return false;
        len = (len << 8) | b;
      }
      if (len < kDerLongForm) return false;
    }
    ByteReader body;
    if (!r.get_sub(len, &body)) return false;
    if (element) *element = ByteReader(p_, left_ - r.remaining());
    *tag = t;
    *contents = body;
    *this = r;
    return true;
  }

  // One DER element that must have tag `tag`; its contents become `out`.
  bool get_der(uint8_t tag, ByteReader* out, ByteReader* element = nullptr) {
    ByteReader probe = *this, body, whole;
    uint8_t t = 0;
    if (!probe.get_der_any(&t, &body, &whole) || t != tag) return false;
    *out = body;
    if (element) *element = whole;
    *this = probe;
    return true;
  }

  // True when every remaining byte is zero (padding after a DER structure).
  bool rest_is_zero() const {
    for (size_t i = 0; i < left_; ++i)
      if (p_[i] != 0) return false;
    return true;
  }

  // Consumes `c` if it is the next byte.
  bool match_u8(uint8_t c) {
    if (left_ < 1 || p_[0] != c) return false;
    advance(1);
    return true;
  }

 private:
  void advance(size_t n) {
    p_ += n;
    left_ -= n;
  }

  const uint8_t* p_ = nullptr;
  size_t left_ = 0;
};

// The bounded writer beside the reader: a caller buffer and its capacity.
// Every write checks first and writes all of its bytes or none, so a full
// buffer never takes half a field.
class ByteWriter {
 public:
  ByteWriter(void* buf, size_t cap) : p_(static_cast<uint8_t*>(buf)), cap_(buf ? cap : 0) {}

  size_t written() const { return pos_; }
  size_t remaining() const { return cap_ - pos_; }
  bool fits(size_t n) const { return n <= remaining(); }

  bool put_u8(uint8_t v) { return put_bytes(&v, 1); }

  bool put_u16be(uint16_t v) {
    const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
    return put_bytes(b, sizeof b);
  }

  bool put_bytes(const void* src, size_t n) {
    if (!fits(n)) return false;
    if (n) memcpy(p_ + pos_, src, n);
    pos_ += n;
    return true;
  }

 private:
  uint8_t* p_;
  size_t cap_;
  size_t pos_ = 0;
};
