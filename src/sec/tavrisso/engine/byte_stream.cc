// Ticket byte stream: parser, builder, signature framing and the text
// rewrites of "+" and URL encoding.
#include "sec/tavrisso/engine/byte_stream.h"

#include <stdlib.h>
#include <string.h>

#include "base/bytes/reader.h"
#include "krn/rsec/rsecb64.h"
#include "sec/tavrisso/trace.h"

namespace {

constexpr char TRC_MODULE[] = "sec/tavrisso/ticketstream";
constexpr char kSrcFile[] = "ticketstream.cc";

// Fails the parse: the list built so far goes with it.
int32_t parse_fail(ContentList* list, int32_t rc) {
  HRazuReleaseContents(list);
  return rc;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

TicketWalk HRazuWalkTicketStream(const unsigned char* puscTicket, int32_t iTicketLBytes,
                                 char Codepage[kTicketCodepageSize], TicketUnitVisitor visit,
                                 void* ctx) {
  TicketWalk walk;
  const size_t n = iTicketLBytes > 0 ? static_cast<size_t>(iTicketLBytes) : 0;
  ByteReader in(puscTicket, n);

  if (!in.get_u8(&walk.version)) return walk;
  TAVRI_TRC(3, "Read version.\n");
  if (!in.copy_bytes(Codepage, kTicketCodepageSize)) return walk;
  TAVRI_TRC(3, "Read Codepage.\n");
  if (!in.get_u8(&walk.id)) return walk;
  TAVRI_TRC(3, "Read InfoUnit (0x%02X).\n", walk.id);

  walk.end = TicketWalkEnd::kUnit;
  while (walk.id != cIUnitSgn) {
    TicketStreamUnit unit;
    unit.id = walk.id;
    uint16_t raw_len = 0;
    if (!in.get_u16be(&raw_len)) return walk;
    unit.len = static_cast<int16_t>(raw_len);
    TAVRI_TRC(3, "Read length (%d).\n", unit.len);
    // A negative length reads nothing here; the visitor judges it.
    unit.value = in.data();
    if (unit.len > 0 && !in.get_bytes(static_cast<size_t>(unit.len), &unit.value)) return walk;
    const int32_t rc = visit(ctx, unit);
    if (rc != 0) {
      walk.rc = rc;
      walk.end = TicketWalkEnd::kVisitor;
      return walk;
    }
    TAVRI_TRC(3, "Read contents.\n");
    if (!in.get_u8(&walk.id)) {
      walk.end = TicketWalkEnd::kNoMarker;
      return walk;
    }
    TAVRI_TRC(3, "Read InfoUnit (0x%02X).\n", walk.id);
  }
  walk.rc = 0;
  walk.end = TicketWalkEnd::kMarker;
  walk.processed = static_cast<int32_t>(n - in.remaining());
  return walk;
}

int32_t HRazuParseTicket(const unsigned char* puscTicket, int32_t iTicketLBytes,
                         ContentList* pContentList, int32_t* piBytesProcessed,
                         char Codepage[kTicketCodepageSize]) {
  if (pContentList == nullptr || piBytesProcessed == nullptr || Codepage == nullptr)
    return kRcNullArgument;
  *pContentList = nullptr;
  ContentList* list = pContentList;
  // The stream may hold the units in any order: insertion sorts them.
  const TicketWalk walk = HRazuWalkTicketStream(
      puscTicket, iTicketLBytes, Codepage, [list](const TicketStreamUnit& unit) -> int32_t {
        PCookieContent node = nullptr;
        int32_t rc = HRazuContentNew(unit.value, unit.len, static_cast<InfoUnitID>(unit.id), &node);
        if (rc != 0) {
          TAVRI_ERR("ParseTicket: Invalid content [%s %d]\n", kSrcFile, __LINE__);
          return rc;
        }
        rc = HRazuInsertContent(list, node);
        if (rc != 0) {
          TAVRI_ERR("ParseTicket: Invalid content structure [%s %d]\n", kSrcFile, __LINE__);
          free(node);
          return rc;
        }
        return 0;
      });
  if (walk.rc != 0) return parse_fail(list, walk.rc);

  *piBytesProcessed = walk.processed;
  if (*list == nullptr) {
    TAVRI_ERR("ParseTicket: No ticket contents [%s %d]\n", kSrcFile, __LINE__);
    return kRcInvalidTicket;
  }
  return 0;
}

int32_t HRazuMakeTicketByteStream(ContentList lstContents, const char* pProcessCodepage,
                                  unsigned char* puscBuffer, int32_t* piBufLength) {
  if (pProcessCodepage == nullptr || puscBuffer == nullptr || piBufLength == nullptr)
    return kRcNullArgument;
  ByteWriter out(puscBuffer, *piBufLength > 0 ? static_cast<size_t>(*piBufLength) : 0);
  uint8_t header[kTicketHeaderSize] = {kTicketVersion};
  for (int k = 0; k < kTicketCodepageSize; ++k)
    header[1 + k] = static_cast<uint8_t>(pProcessCodepage[k] & 0x7F);
  if (!out.put_bytes(header, sizeof header)) return kRcBufferTooSmall;

  for (PCookieContent node = lstContents; node != nullptr; node = node->pNextCtnt) {
    const int32_t len = node->iContentLBytes;
    if (len < 0 || len > kContentMaxBytes) return kRcInvalid;
    // Identifier and length go in whole or not at all; the value after them.
    const uint8_t unit[3] = {static_cast<uint8_t>(node->InfoId & 0xFF),
                             static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
    if (!out.put_bytes(unit, sizeof unit) ||
        !out.put_bytes(node->ByteContent, static_cast<size_t>(len)))
      return kRcBufferTooSmall;
  }
  *piBufLength = static_cast<int32_t>(out.written());
  return 0;
}

int32_t HRazuAppendSignature(unsigned char* puscWork, int32_t iSignedL,
                             const unsigned char* puscSignature, int32_t iSignatureL,
                             int32_t* piStreamL) {
  if (puscWork == nullptr || puscSignature == nullptr || piStreamL == nullptr)
    return kRcNullArgument;
  if (iSignedL < 0 || iSignedL > kTicketWorkSize || iSignatureL < 0 || iSignatureL > INT16_MAX)
    return kRcBufferTooSmall;
  ByteWriter out(puscWork + iSignedL, static_cast<size_t>(kTicketWorkSize - iSignedL));
  const size_t sig_len = static_cast<size_t>(iSignatureL);
  // The marker and length are written only when the signature fits too.
  if (!out.fits(3 + sig_len)) return kRcBufferTooSmall;
  out.put_u8(cIUnitSgn);
  out.put_u16be(static_cast<uint16_t>(iSignatureL));
  out.put_bytes(puscSignature, sig_len);
  *piStreamL = iSignedL + static_cast<int32_t>(out.written());
  return 0;
}

int32_t HRazuEncodeTicketStream(unsigned char* puscWork, int32_t iStreamL, char* pucsOut,
                                int32_t* piOutL) {
  if (puscWork == nullptr || pucsOut == nullptr || piOutL == nullptr) return kRcNullArgument;
  if (iStreamL < 0 || iStreamL > kTicketWorkSize) return kRcBase64Encode;
  uint32_t enc = 0;
  if (rseceb64l_encbase64_length(static_cast<uint32_t>(iStreamL), &enc) != 0)
    return kRcBase64Encode;
  if (*piOutL < 0 || enc > static_cast<uint32_t>(*piOutL)) return kRcBufferTooSmall;
  uint32_t text_len = 0;
  const int32_t rc = rseceb64_encode_base64(puscWork, static_cast<uint32_t>(iStreamL),
                                            kTicketWorkSize, &text_len);
  if (rc == 3) return kRcBufferTooSmall;
  if (rc != 0) return kRcBase64Encode;
  memset(pucsOut, 0, static_cast<size_t>(*piOutL));
  memcpy(pucsOut, puscWork, text_len);
  *piOutL = static_cast<int32_t>(text_len);
  return 0;
}

int32_t HRazuExtractSignature(const unsigned char* puscDecoded, int32_t iDecodedL,
                              int32_t iBytesProcessed, const unsigned char** ppuscSignature,
                              int32_t* piSignatureL) {
  if (ppuscSignature == nullptr || piSignatureL == nullptr) return kRcNullArgument;
  ByteReader in(puscDecoded, iDecodedL > 0 ? static_cast<size_t>(iDecodedL) : 0);
  // A length field beyond the data reads as no signature at all.
  uint16_t raw = 0;
  if (iBytesProcessed < 0 || !in.skip(static_cast<size_t>(iBytesProcessed)) || !in.get_u16be(&raw))
    raw = 0;
  const int16_t sig_len = static_cast<int16_t>(raw);
  const uint8_t* sig = nullptr;
  if (sig_len < kTicketSignatureMin || sig_len > kTicketSignatureMax ||
      !in.get_bytes(static_cast<size_t>(sig_len), &sig)) {
    TAVRI_ERR("No or invalid signature. Length: %d \n", sig_len);
    return kRcInvalidTicket;
  }
  if (iBytesProcessed < kTicketProcessedMin || iBytesProcessed > kTicketProcessedMax) {
    TAVRI_ERR("Invalid parser state. Processed bytes: %d \n", iBytesProcessed - 1);
    return kRcInvalidTicket;
  }
  *ppuscSignature = sig;
  *piSignatureL = sig_len;
  return 0;
}

void ReplacePlus(char* chBuf, int32_t iBufL) {
  if (chBuf == nullptr) return;
  for (int32_t i = 0; i < iBufL; ++i) {
    if (chBuf[i] == '+') chBuf[i] = '!';
  }
}

void ReplaceExclMarkAndURLEncoding(char* chBuf, int32_t* iBufL) {
  if (chBuf == nullptr || iBufL == nullptr) return;
  const int32_t n = *iBufL;
  ByteReader in(chBuf, n > 0 ? static_cast<size_t>(n) : 0);
  // The usual text has neither blanks nor escapes: its length stays and
  // each of its few '!' becomes '+' where it stands.
  size_t at = 0;
  if (n > 0 && !in.find_u8(' ', 0, &at) && !in.find_u8('%', 0, &at)) {
    for (size_t from = 0; in.find_u8('!', from, &at); from = at + 1) chBuf[at] = '+';
    return;
  }
  // Written in place: the write position never passes the read position,
  // and runs of plain characters are moved only once an escape has
  // shortened the text before them.
  int32_t j = 0;
  for (;;) {
    // The characters the rewrite replaces; all others pass as they are.
    const size_t run = in.find_any_of(0, ' ', '!', '%');
    const uint8_t* plain = nullptr;
    in.get_bytes(run, &plain);
    if (reinterpret_cast<const char*>(plain) != chBuf + j) memmove(chBuf + j, plain, run);
    j += static_cast<int32_t>(run);
    uint8_t ch = 0;
    if (!in.get_u8(&ch)) break;
    const uint8_t* esc = nullptr;
    if (ch == ' ' || ch == '!') {
      chBuf[j++] = '+';
    } else if (in.get_bytes(2, &esc)) {  // '%'
      const int hi = hex_digit(static_cast<char>(esc[0]));
      const int lo = hex_digit(static_cast<char>(esc[1]));
      if (hi < 0 || lo < 0) {
        // Not an escape: the three characters stay as they are.
        chBuf[j++] = '%';
        chBuf[j++] = static_cast<char>(esc[0]);
        chBuf[j++] = static_cast<char>(esc[1]);
        continue;
      }
      const int v = hi * 16 + lo;
      chBuf[j++] = (v == ' ' || v == '!') ? '+' : static_cast<char>(v);
    } else {
      chBuf[j++] = static_cast<char>(ch);
    }
  }
  if (j < n) chBuf[j] = '\0';
  *iBufL = j;
}
