// The JSON tokenizer: one pass, no allocation, strict value forms.
#include "sec/jwt/jwtparse.h"

#include <stdlib.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <initializer_list>

#include "base/bytes/reader.h"
#include "krn/ha/habase64.h"

namespace {

// JWT parts are Base64url without padding (RFC 7515 section 2); be lenient
// about white space, foreign characters and trailing data.
constexpr int32_t kJwtDecodeFlags = HA_DEC_LENIENT | HA_DEC_SKIP_FOREIGN | HA_DEC_PAD_OPTIONAL;
constexpr size_t kHexDigits = 4;

struct Input {
  ByteReader r;
  // The byte at `pos`, false at the end of the input or at a zero byte.
  bool at(uint64_t pos, uint8_t* c) const { return r.peek_at(static_cast<size_t>(pos), c) && *c != 0; }
};

jwtok_t* alloc_token(jwt_parser* p, jwtok_t* tokens, uint32_t num) {
  if (p->toknext >= num) return nullptr;
  jwtok_t* t = &tokens[p->toknext++];
  t->begin = t->end = -1;
  t->size = 0;
  t->parent = -1;
  return t;
}

// The next free token as a complete string or primitive, each field
// written once; null when the array is full.
jwtok_t* take_value_token(jwt_parser* p, jwtok_t* tokens, uint32_t num, jwtype_t type, uint64_t begin,
                          uint64_t end) {
  if (p->toknext >= num) return nullptr;
  jwtok_t* t = &tokens[p->toknext++];
  *t = jwtok_t{type, static_cast<int32_t>(begin), static_cast<int32_t>(end), 0, p->toksuper};
  return t;
}

bool is_hex(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int32_t parse_string(jwt_parser* p, const Input& in, jwtok_t* tokens, uint32_t num) {
  const uint64_t start = p->pos;
  uint8_t c = 0;
  for (p->pos++;; p->pos++) {
    // Plain characters are passed over in one scan; only a quote, an
    // escape or the end of the input stops it.
    p->pos = in.r.find_any_of(static_cast<size_t>(p->pos), '"', '\\', 0);
    if (!in.at(p->pos, &c)) break;
    if (c == '"') {
      if (tokens == nullptr) return 0;
      if (take_value_token(p, tokens, num, JWT_STRING, start + 1, p->pos) == nullptr) {
        p->pos = start;
        return JWT_ERROR_NOMEM;
      }
      return 0;
    }
    if (c != '\\' || !in.at(p->pos + 1, &c)) continue;
    p->pos++;
    switch (c) {
      case '"': case '/': case '\\': case 'b': case 'f': case 'r': case 'n': case 't':
        break;
      case 'u':
        p->pos++;
        for (size_t i = 0; i < kHexDigits && in.at(p->pos, &c); i++, p->pos++) {
          if (!is_hex(c)) {
            p->pos = start;
            return JWT_ERROR_INVAL;
          }
        }
        p->pos--;
        break;
      default:
        p->pos = start;
        return JWT_ERROR_INVAL;
    }
  }
  p->pos = start;
  return JWT_ERROR_PART;
}

constexpr char kLastPrintable = '~';

constexpr bool ends_primitive(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ']' || c == '}';
}

// The bytes a primitive's characters run up to: its delimiters, and every
// byte that is not printable 7-bit (the zero byte that ends the input among them).
struct PrimitiveStops {
  bool stop[256];
};
constexpr PrimitiveStops primitive_stops() {
  PrimitiveStops t{};
  for (int c = 0; c < 256; ++c) t.stop[c] = c < ' ' || c > kLastPrintable || ends_primitive(static_cast<uint8_t>(c));
  return t;
}
constexpr PrimitiveStops kPrimitiveStops = primitive_stops();

// Where the characters of a primitive that starts at `from` end: at its
// first stop byte, or at the end of the input. A number is read sixteen
// bytes a step where SSE2 is there (a signed compare below 32 also catches
// every byte above 127).
size_t primitive_end(const ByteReader& r, size_t from) {
#if defined(__SSE2__)
  ByteReader block;
  for (; r.view(from, sizeof(__m128i), &block); from += sizeof(__m128i)) {
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block.data()));
    auto eq = [&w](char c) { return _mm_cmpeq_epi8(w, _mm_set1_epi8(c)); };
    const __m128i outside = _mm_or_si128(_mm_cmplt_epi8(w, _mm_set1_epi8(' ')), eq(kLastPrintable + 1));
    const __m128i delim = _mm_or_si128(_mm_or_si128(eq(' '), eq(',')), _mm_or_si128(eq(']'), eq('}')));
    const unsigned hit = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(outside, delim)));
    if (hit != 0) return from + static_cast<size_t>(__builtin_ctz(hit));
  }
#endif
  return r.find_if(from, [](uint8_t b) { return kPrimitiveStops.stop[b]; });
}

int32_t parse_primitive(jwt_parser* p, const Input& in, jwtok_t* tokens, uint32_t num) {
  const uint64_t start = p->pos;
  uint8_t c = 0;
  // Ordinary characters are passed over in one scan.
  p->pos = primitive_end(in.r, static_cast<size_t>(p->pos));
  if (in.at(p->pos, &c)) {
    if (!ends_primitive(c)) {
      p->pos = start;  // not printable 7-bit
      return JWT_ERROR_INVAL;
    }
    if (tokens != nullptr) {
      if (take_value_token(p, tokens, num, JWT_PRIMITIVE, start, p->pos) == nullptr) {
        p->pos = start;
        return JWT_ERROR_NOMEM;
      }
    }
    p->pos--;  // the delimiter is read by the caller
    return 0;
  }
  // Strict: a primitive must be followed by a delimiter.
  p->pos = start;
  return JWT_ERROR_PART;
}

// What a byte starts in the tokenizer's main loop, looked up in one table
// so that the dispatch is a single jump.
enum class Lex : uint8_t { kOther, kSpace, kOpen, kClose, kQuote, kColon, kComma, kPrimitive };
struct LexTable {
  Lex of[256];
};
constexpr LexTable lex_table() {
  LexTable t{};
  for (auto& e : t.of) e = Lex::kOther;
  for (unsigned char c : {' ', '\t', '\r', '\n'}) t.of[c] = Lex::kSpace;
  t.of[static_cast<unsigned char>('{')] = t.of[static_cast<unsigned char>('[')] = Lex::kOpen;
  t.of[static_cast<unsigned char>('}')] = t.of[static_cast<unsigned char>(']')] = Lex::kClose;
  t.of[static_cast<unsigned char>('"')] = Lex::kQuote;
  t.of[static_cast<unsigned char>(':')] = Lex::kColon;
  t.of[static_cast<unsigned char>(',')] = Lex::kComma;
  for (unsigned char c : {'-', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 't', 'f', 'n'})
    t.of[c] = Lex::kPrimitive;
  return t;
}
constexpr LexTable kLex = lex_table();

// The objects and arrays still open, innermost on top. They nest, so a
// closing bracket always meets the top one; keeping them as a stack makes
// "," and "]" constant time instead of a walk back over every earlier
// token. The link to the next open one lives in the `end` field of each
// open token (an open token's end is -1 to the outside, so the links are
// put back to -1 before the tokens are handed out).
class OpenStack {
 public:
  // Picks up the open containers of a parser that already holds tokens.
  OpenStack(jwtok_t* tokens, uint32_t used) : tokens_(tokens) {
    if (tokens_ == nullptr) return;
    int32_t below = -1;
    for (uint32_t i = 0; i < used; i++) {
      if (tokens_[i].begin != -1 && tokens_[i].end == -1) {
        tokens_[i].end = link(below);
        below = static_cast<int32_t>(i);
      }
    }
    top_ = below;
  }
  ~OpenStack() {
    for (int32_t i = top_; i != -1;) {
      const int32_t next = unlink(tokens_[i].end);
      tokens_[i].end = -1;
      i = next;
    }
  }
  OpenStack(const OpenStack&) = delete;
  OpenStack& operator=(const OpenStack&) = delete;

  int32_t top() const { return top_; }
  void push(int32_t i) {
    tokens_[i].end = link(top_);
    top_ = i;
  }
  // Closes the top container at `end`; the one below becomes the top.
  void pop(int32_t end) {
    const int32_t next = unlink(tokens_[top_].end);
    tokens_[top_].end = end;
    top_ = next;
  }

 private:
  // -1 (none) is stored as -1, index i as -2 - i: always below 0.
  static int32_t link(int32_t i) { return i == -1 ? -1 : -2 - i; }
  static int32_t unlink(int32_t v) { return v == -1 ? -1 : -2 - v; }

  jwtok_t* tokens_;
  int32_t top_ = -1;
};

// The parser state, handed back to the caller's record on every return.
struct StateCopy {
  explicit StateCopy(jwt_parser* to) : st(*to), to_(to) {}
  ~StateCopy() { *to_ = st; }
  StateCopy(const StateCopy&) = delete;
  StateCopy& operator=(const StateCopy&) = delete;
  jwt_parser st;

 private:
  jwt_parser* to_;
};

}  // namespace

void jwtInit(jwt_parser* parser) {
  parser->pos = 0;
  parser->toknext = 0;
  parser->toksuper = -1;
}

int32_t jwtParse(jwt_parser* caller_parser, const char* json, size_t len, jwtok_t* tokens,
                 uint32_t num_tokens) {
  // Token positions are 32-bit.
  if (len > INT32_MAX) return JWT_ERROR_INVAL;
  const Input in{ByteReader(json, len)};
  // The state is worked on in a copy: the tokens written on the way could
  // alias the caller's record, which would have to be read back after each.
  StateCopy state(caller_parser);
  jwt_parser* const parser = &state.st;
  OpenStack open(tokens, parser->toknext);
  int32_t count = 0;
  uint8_t c = 0;
  for (; in.at(parser->pos, &c); parser->pos++) {
    switch (kLex.of[c]) {
      case Lex::kSpace:
        break;
      case Lex::kOpen: {
        count++;
        if (tokens == nullptr) break;
        jwtok_t* t = alloc_token(parser, tokens, num_tokens);
        if (t == nullptr) return JWT_ERROR_NOMEM;
        if (parser->toksuper != -1) {
          tokens[parser->toksuper].size++;
          t->parent = parser->toksuper;
        }
        t->type = c == '{' ? JWT_OBJECT : JWT_ARRAY;
        t->begin = static_cast<int32_t>(parser->pos);
        parser->toksuper = static_cast<int32_t>(parser->toknext - 1);
        open.push(parser->toksuper);
        break;
      }
      case Lex::kClose: {
        if (tokens == nullptr) break;
        const jwtype_t type = c == '}' ? JWT_OBJECT : JWT_ARRAY;
        if (open.top() == -1 || tokens[open.top()].type != type) return JWT_ERROR_INVAL;
        open.pop(static_cast<int32_t>(parser->pos + 1));
        parser->toksuper = open.top();
        break;
      }
      case Lex::kQuote: {
        const int32_t r = parse_string(parser, in, tokens, num_tokens);
        if (r < 0) return r;
        count++;
        if (parser->toksuper != -1 && tokens != nullptr) tokens[parser->toksuper].size++;
        break;
      }
      case Lex::kColon:
        parser->toksuper = static_cast<int32_t>(parser->toknext) - 1;
        break;
      case Lex::kComma:
        // A key whose value is complete: back to the enclosing container.
        if (tokens != nullptr && parser->toksuper != -1 && tokens[parser->toksuper].type != JWT_ARRAY &&
            tokens[parser->toksuper].type != JWT_OBJECT && open.top() != -1)
          parser->toksuper = open.top();
        break;
      case Lex::kPrimitive: {
        if (tokens != nullptr && parser->toksuper != -1) {
          // A primitive cannot be a key, nor a second value of one key.
          const jwtok_t& t = tokens[parser->toksuper];
          if (t.type == JWT_OBJECT || (t.type == JWT_STRING && t.size != 0)) return JWT_ERROR_INVAL;
        }
        const int32_t r = parse_primitive(parser, in, tokens, num_tokens);
        if (r < 0) return r;
        count++;
        if (parser->toksuper != -1 && tokens != nullptr) tokens[parser->toksuper].size++;
        break;
      }
      case Lex::kOther:
        return JWT_ERROR_INVAL;
    }
  }
  if (tokens != nullptr && open.top() != -1) return JWT_ERROR_PART;
  return count;
}

int32_t jwtExtract2Json(const char* inToken, size_t lenToken, unsigned char** outJson,
                        size_t* outJsonLen) {
  if (outJson == nullptr) return JWT_EXTRACT_NO_OUTPUT;
  // One byte at least, so that an empty part still gets a buffer to free.
  *outJson = static_cast<unsigned char*>(malloc(lenToken > 0 ? lenToken : 1));
  if (outJsonLen) *outJsonLen = 0;
  if (*outJson == nullptr) return JWT_EXTRACT_NO_MEMORY;
  size_t n = 0;
  if (haDecBase64SB(inToken, lenToken, ALPHABET_B7_BASE64URL, kJwtDecodeFlags, *outJson, lenToken,
                    &n, nullptr) != HA_DEC_OK)
    return JWT_EXTRACT_NOT_BASE64;
  if (outJsonLen) *outJsonLen = n;
  return JWT_EXTRACT_OK;
}
