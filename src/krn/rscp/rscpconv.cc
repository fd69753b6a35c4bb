// Converter objects. Each character goes through UTF-32: the source is
// decoded one character at a time, so every unmappable or broken character
// can be substituted on its own, and each character's target form is
// checked against the output end before a byte of it is written.
#include <errno.h>
#include <string.h>

#include <vector>

#include "base/bytes/reader.h"
#include "krn/rscp/rscp.h"
#include "krn/rscp/rscpint.h"
#include "krn/rscp/rscptab.h"

namespace {

constexpr char kPivot[] = "UTF-32LE";
constexpr size_t kPivotUnit = 4;
// Room for one character's code points (a few sources give two) and for one
// character's target form including shift sequences.
constexpr size_t kMaxCodePoints = 4;
constexpr size_t kMaxEncoded = 16;

// Opened descriptors kept for reuse, per thread: opening one looks up and
// links the converter module every time, and a descriptor carries
// conversion state, so it is never shared between threads. A converter
// borrows its two descriptors on activation and gives them back when it
// finishes; the thread's pool closes them when the thread ends.
constexpr size_t kPooledPerThread = 8;

class IconvPool {
 public:
  IconvHandle Take(const char* to, const char* from) {
    for (size_t i = 0; i < kept_.size(); ++i) {
      if (kept_[i].to == to && kept_[i].from == from) {
        IconvHandle h = std::move(kept_[i].handle);
        kept_[i] = std::move(kept_.back());
        kept_.pop_back();
        h.Reset();
        return h;
      }
    }
    return IconvHandle(to, from);
  }

  void Give(const char* to, const char* from, IconvHandle h) {
    if (!h.valid() || kept_.size() >= kPooledPerThread) return;
    try {
      kept_.push_back(Kept{to, from, std::move(h)});
    } catch (...) {
      // Not kept: the descriptor closes here.
    }
  }

 private:
  // The names are the code page table's own strings, so equal pointers
  // mean the same pair.
  struct Kept {
    const char* to;
    const char* from;
    IconvHandle handle;
  };
  std::vector<Kept> kept_;
};

thread_local IconvPool t_iconv_pool;

// Printable ASCII, which every code page below reads and writes as itself.
constexpr uint8_t kFirstPrintable = 0x20;
constexpr uint8_t kLastPrintable = 0x7E;

// Stateless code pages whose bytes 0x20-0x7E are those ASCII characters.
// The Hebrew and Vietnamese sources hold back a base character for a mark
// that may follow, so a copied character would overtake it: not listed.
bool AsciiSame(const rscpCodepageRow* row) {
  static const char* const kPrefixes[] = {"ISO-8859-", "UTF-8", "US-ASCII"};
  static const char* const kWindows[] = {"WINDOWS-1250", "WINDOWS-1251", "WINDOWS-1252",
                                         "WINDOWS-1253", "WINDOWS-1254", "WINDOWS-1256",
                                         "WINDOWS-1257"};
  const char* name = row->iconv_name;
  for (const char* p : kPrefixes)
    if (strncmp(name, p, strlen(p)) == 0) return true;
  for (const char* w : kWindows)
    if (strcmp(name, w) == 0) return true;
  return false;
}

bool IsControl(uint32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }
bool IsOwnChar(uint32_t cp) { return cp >= 0xE000 && cp <= 0xF8FF; }

RSCP_RC CheckConfigurable(const rscpCObj_t* obj) {
  if (obj == nullptr) return rscpSetError(RSCPE_PARAM, "null converter");
  if (!obj->inited || obj->active) return rscpSetError(RSCPE_STATE, "converter not in set-up");
  return RSCP_OK;
}

// One decoded source character: its code points, or `broken`.
struct Decoded {
  uint32_t cps[kMaxCodePoints];
  size_t count = 0;
  bool broken = false;
};

// Decodes the next character of `in`, consuming its bytes. Shift sequences
// consume bytes and yield no code point.
Decoded DecodeNext(rscpCObj_t* obj, ByteReader* in) {
  Decoded d;
  // Most sources fill a one-code-point buffer; retry wider for those that
  // emit two code points for one character at once.
  for (size_t room : {size_t{1}, kMaxCodePoints}) {
    char* ip = const_cast<char*>(reinterpret_cast<const char*>(in->data()));
    size_t il = in->remaining();
    char* op = reinterpret_cast<char*>(d.cps);
    size_t ol = room * kPivotUnit;
    size_t r = obj->decoder.Convert(&ip, &il, &op, &ol);
    int err = errno;
    size_t consumed = in->remaining() - il;
    d.count = (room * kPivotUnit - ol) / kPivotUnit;
    if (consumed > 0 || d.count > 0) {
      in->skip(consumed);
      return d;
    }
    // EILSEQ or EINVAL is broken input; so is a decoder that makes no progress.
    if (r != static_cast<size_t>(-1) || err != E2BIG) break;
  }
  // Composing sources (Hebrew, Vietnamese) hold back a base character that
  // a following mark might join; it goes out before the broken byte's "#".
  char* op = reinterpret_cast<char*>(d.cps);
  size_t ol = sizeof d.cps;
  obj->decoder.Convert(nullptr, nullptr, &op, &ol);
  d.count = (sizeof d.cps - ol) / kPivotUnit;
  d.broken = true;
  size_t unit = obj->in_cp->unit;
  in->skip(in->remaining() < unit ? in->remaining() : unit);
  return d;
}

// Appends the target form of one code point to buf[*len..kMaxEncoded);
// false when it has none. A shifted target may still have written its
// header or a shift on a failed call; those bytes stay counted in *len.
bool Encode(rscpCObj_t* obj, uint32_t cp, unsigned char* buf, size_t* len) {
  unsigned char in[kPivotUnit] = {static_cast<unsigned char>(cp), static_cast<unsigned char>(cp >> 8),
                                  static_cast<unsigned char>(cp >> 16),
                                  static_cast<unsigned char>(cp >> 24)};
  char* ip = reinterpret_cast<char*>(in);
  size_t il = sizeof in;
  char* op = reinterpret_cast<char*>(buf + *len);
  size_t ol = kMaxEncoded - *len;
  size_t r = obj->encoder.Convert(&ip, &il, &op, &ol);
  *len = kMaxEncoded - ol;
  return r != static_cast<size_t>(-1);
}

// Output cursor that refuses a character whose form does not fit whole.
struct Output {
  unsigned char* pos;
  unsigned char* end;
  bool Put(const unsigned char* bytes, size_t len) {
    if (static_cast<size_t>(end - pos) < len) return false;
    memcpy(pos, bytes, len);
    pos += len;
    return true;
  }
};

// Converts one code point (or a broken character when `broken`) into `out`.
RSCP_RC PutChar(rscpCObj_t* obj, uint32_t cp, bool broken, Output* out) {
  unsigned char buf[kMaxEncoded];
  size_t len = 0;
  bool mappable = !broken && !(IsControl(cp) && obj->ctrl == CtrlCodeCv_illegal) &&
                  !(IsOwnChar(cp) && obj->own == QOROwnChCv_illegal) && Encode(obj, cp, buf, &len);
  if (!mappable) {
    if (broken && obj->broken == broken_error)
      return rscpSetError(RSCPE_BROKEN, "input broken in code page %s", obj->in_cp->id);
    if (obj->miss == miss_error)
      return rscpSetError(RSCPE_MISSING, "U+%04X has no form in code page %s",
                          static_cast<unsigned>(cp), obj->out_cp->id);
    uint32_t subst = obj->subst_u4 != 0 ? obj->subst_u4 : obj->subst_qor;
    if (!obj->filter && !Encode(obj, subst, buf, &len))
      return rscpSetError(RSCPE_MISSING, "substitute U+%04X has no form in code page %s",
                          static_cast<unsigned>(subst), obj->out_cp->id);
  }
  if (!out->Put(buf, len))
    return rscpSetError(RSCPE_OUTPUT_FULL, "output full converting to code page %s", obj->out_cp->id);
  return RSCP_OK;
}

// The character a composing source still holds back at the end of input.
RSCP_RC FlushDecoder(rscpCObj_t* obj, Output* out) {
  uint32_t cps[kMaxCodePoints];
  char* op = reinterpret_cast<char*>(cps);
  size_t ol = sizeof cps;
  obj->decoder.Convert(nullptr, nullptr, &op, &ol);
  RSCP_RC rc = RSCP_OK;
  for (size_t i = 0; rc == RSCP_OK && i < (sizeof cps - ol) / kPivotUnit; i++)
    rc = PutChar(obj, cps[i], false, out);
  return rc;
}

}  // namespace

RSCP_RC rscpCInit(rscpCObj_t* obj, const char* inCP, const char* outCP, rscpMiss_t miss,
                  rscpBroken_t broken, rscpFill_t fill) {
  if (obj == nullptr) return rscpSetError(RSCPE_PARAM, "null converter");
  if ((miss != miss_error && miss != miss_substitute) ||
      (broken != broken_error && broken != broken_like_miss) || fill != fill_never)
    return rscpSetError(RSCPE_PARAM, "bad setting (miss %d, broken %d, fill %d)",
                        static_cast<int>(miss), static_cast<int>(broken), static_cast<int>(fill));
  const rscpCodepageRow* in = rscpFindCodepage(inCP != nullptr ? inCP : kRscpUserCodepage);
  const rscpCodepageRow* out = rscpFindCodepage(outCP != nullptr ? outCP : kRscpUserCodepage);
  if (in == nullptr || out == nullptr)
    return rscpSetError(RSCPE_CODEPAGE, "unknown code page %.4s",
                        in == nullptr ? (inCP ? inCP : "") : (outCP ? outCP : ""));
  *obj = rscpCObj_t{};
  obj->in_cp = in;
  obj->out_cp = out;
  obj->miss = miss;
  obj->broken = broken;
  obj->subst_qor = kRscpSubstHash;
  obj->inited = true;
  return RSCP_OK;
}

namespace {

// Sets one option of an object that is not yet active; a two-way setting
// takes one of its two values only, and `what` names it in the error.
template <typename T>
RSCP_RC SetOption(rscpCObj_t* obj, T rscpCObj_t::*field, T value) {
  if (RSCP_RC rc = CheckConfigurable(obj)) return rc;
  obj->*field = value;
  return RSCP_OK;
}

template <typename T>
RSCP_RC SetChoice(rscpCObj_t* obj, T rscpCObj_t::*field, T value, T a, T b, const char* what) {
  if (RSCP_RC rc = CheckConfigurable(obj)) return rc;
  if (value != a && value != b)
    return rscpSetError(RSCPE_PARAM, "bad %s setting %d", what, static_cast<int>(value));
  obj->*field = value;
  return RSCP_OK;
}

}  // namespace

RSCP_RC rscpCSetSubstQOR(rscpCObj_t* obj, uint32_t ch) {
  return SetOption(obj, &rscpCObj_t::subst_qor, ch);
}

RSCP_RC rscpCSetSubstU4(rscpCObj_t* obj, uint32_t ch) {
  return SetOption(obj, &rscpCObj_t::subst_u4, ch);
}

RSCP_RC rscpCSetFilter(rscpCObj_t* obj, bool filter) {
  return SetOption(obj, &rscpCObj_t::filter, filter);
}

RSCP_RC rscpCSetCtrlCodeCv(rscpCObj_t* obj, CtrlCodeCv_t cv) {
  return SetChoice(obj, &rscpCObj_t::ctrl, cv, CtrlCodeCv_illegal, CtrlCodeCv_try, "control code");
}

RSCP_RC rscpCSetQOROwnChCv(rscpCObj_t* obj, QOROwnChCv_t cv) {
  return SetChoice(obj, &rscpCObj_t::own, cv, QOROwnChCv_illegal, QOROwnChCv_try, "own character");
}

RSCP_RC rscpCActivate(rscpCObj_t* obj) {
  if (RSCP_RC rc = CheckConfigurable(obj)) return rc;
  IconvHandle decoder = t_iconv_pool.Take(kPivot, obj->in_cp->iconv_name);
  IconvHandle encoder = t_iconv_pool.Take(obj->out_cp->iconv_name, kPivot);
  if (!decoder.valid() || !encoder.valid())
    return rscpSetError(RSCPE_SYSTEM, "no converter %s -> %s", obj->in_cp->iconv_name,
                        obj->out_cp->iconv_name);
  obj->decoder = std::move(decoder);
  obj->encoder = std::move(encoder);
  obj->ascii_same = AsciiSame(obj->in_cp) && AsciiSame(obj->out_cp);
  obj->active = true;
  return RSCP_OK;
}

RSCP_RC rscpCConvert(rscpCObj_t* obj, unsigned char** ppOut, unsigned char* outEnd,
                     const unsigned char** ppIn, const unsigned char* inEnd) {
  if (obj == nullptr || ppOut == nullptr || ppIn == nullptr || *ppOut == nullptr ||
      outEnd == nullptr || (*ppIn == nullptr && inEnd != nullptr) || outEnd < *ppOut ||
      inEnd < *ppIn)
    return rscpSetError(RSCPE_PARAM, "bad converter arguments");
  if (!obj->active) return rscpSetError(RSCPE_STATE, "converter not active");
  ByteReader in(*ppIn, static_cast<size_t>(inEnd - *ppIn));
  Output out{*ppOut, outEnd};
  RSCP_RC rc = RSCP_OK;
  while (!in.empty()) {
    if (obj->ascii_same) {
      // A run of printable ASCII is copied as it is, as far as it fits.
      size_t run = 0;
      for (uint8_t b = 0; in.peek_at(run, &b) && b >= kFirstPrintable && b <= kLastPrintable;) ++run;
      if (run > 0) {
        const size_t room = static_cast<size_t>(out.end - out.pos);
        const uint8_t* bytes = nullptr;
        in.get_bytes(run < room ? run : room, &bytes);
        out.Put(bytes, run < room ? run : room);
        if (run > room) {
          *ppOut = out.pos;
          *ppIn = in.data();
          return rscpSetError(RSCPE_OUTPUT_FULL, "output full converting to code page %s",
                              obj->out_cp->id);
        }
        continue;
      }
    }
    const unsigned char* char_start = in.data();
    unsigned char* out_start = out.pos;
    Decoded d = DecodeNext(obj, &in);
    for (size_t i = 0; rc == RSCP_OK && i < d.count; i++) rc = PutChar(obj, d.cps[i], false, &out);
    if (rc == RSCP_OK && d.broken) rc = PutChar(obj, 0, true, &out);
    if (rc == RSCP_OK && in.empty()) rc = FlushDecoder(obj, &out);
    if (rc != RSCP_OK) {
      // Report the positions before the character that could not be taken.
      *ppOut = out_start;
      *ppIn = char_start;
      return rc;
    }
  }
  // Close a shifted target (ISO-2022) with its reset sequence.
  unsigned char tail[kMaxEncoded];
  char* op = reinterpret_cast<char*>(tail);
  size_t ol = sizeof tail;
  obj->encoder.Convert(nullptr, nullptr, &op, &ol);
  if (!out.Put(tail, sizeof tail - ol))
    rc = rscpSetError(RSCPE_OUTPUT_FULL, "output full converting to code page %s", obj->out_cp->id);
  *ppOut = out.pos;
  *ppIn = in.data();
  return rc;
}

RSCP_RC rscpCFinish(rscpCObj_t* obj) {
  if (obj == nullptr) return rscpSetError(RSCPE_PARAM, "null converter");
  if (obj->active) {
    t_iconv_pool.Give(kPivot, obj->in_cp->iconv_name, std::move(obj->decoder));
    t_iconv_pool.Give(obj->out_cp->iconv_name, kPivot, std::move(obj->encoder));
  }
  *obj = rscpCObj_t{};
  return RSCP_OK;
}
