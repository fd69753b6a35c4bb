// Ticket byte stream: version byte, 4-character code page, InfoUnits
// (identifier, 2-byte big-endian length, value), marker 0xFF, signature
// length and the detached PKCS#7 signature over the bytes before the marker.
// The ticket text is its Base64 form with "!" for "+".
#pragma once

#include <stdint.h>

#include <type_traits>

#include "sec/tavrisso/engine/content_list.h"

constexpr unsigned char kTicketVersion = 2;
constexpr int kTicketCodepageSize = 4;
// Version and code page.
constexpr int32_t kTicketHeaderSize = 1 + kTicketCodepageSize;
// Header, first identifier and its length.
constexpr int32_t kTicketFirstUnitValue = kTicketHeaderSize + 3;
constexpr int32_t kTicketSignatureMin = 1;
constexpr int32_t kTicketSignatureMax = 4096;
constexpr int32_t kTicketProcessedMin = 2;
constexpr int32_t kTicketProcessedMax = 4097;
// Work buffer of creation: the whole byte stream, then its text in place.
constexpr int32_t kTicketWorkSize = 4096;
// Longest ticket text handed to evaluation.
constexpr int32_t kTicketTextMax = 4095;

// One InfoUnit as it stands in the stream; `value` points into the stream.
// A negative length is handed on as read, with no value bytes behind it.
struct TicketStreamUnit {
  uint8_t id = 0;
  int16_t len = 0;
  const uint8_t* value = nullptr;
};

// Where a walk over the stream stopped.
enum class TicketWalkEnd : uint8_t {
  kMarker,    // at the marker: every unit was read
  kHeader,    // no room for version, code page and a first identifier
  kUnit,      // a unit's length or value runs past the data
  kNoMarker,  // no identifier after a value
  kVisitor,   // the visitor refused a unit
};

struct TicketWalk {
  // 0 at the marker, kRcInvalidTicket for a malformed stream, otherwise the
  // visitor's result.
  int32_t rc = kRcInvalidTicket;
  TicketWalkEnd end = TicketWalkEnd::kHeader;
  uint8_t version = 0;
  uint8_t id = 0;          // the last identifier read
  int32_t processed = 0;   // bytes up to and including the marker
};

// Called for every unit in stream order; a result other than 0 ends the
// walk with that result.
typedef int32_t (*TicketUnitVisitor)(void* ctx, const TicketStreamUnit& unit);

// The one reader of the stream's layout: copies the code page field into
// Codepage and hands each InfoUnit to `visit` in stream order, up to the
// marker. Checks nothing a unit's value means (that is the visitor's).
TicketWalk HRazuWalkTicketStream(const unsigned char* puscTicket, int32_t iTicketLBytes,
                                 char Codepage[kTicketCodepageSize], TicketUnitVisitor visit,
                                 void* ctx);

template <typename Visit>
TicketWalk HRazuWalkTicketStream(const unsigned char* puscTicket, int32_t iTicketLBytes,
                                 char Codepage[kTicketCodepageSize], Visit&& visit) {
  using V = std::remove_reference_t<Visit>;
  return HRazuWalkTicketStream(
      puscTicket, iTicketLBytes, Codepage,
      [](void* ctx, const TicketStreamUnit& unit) -> int32_t {
        return (*static_cast<V*>(ctx))(unit);
      },
      &visit);
}

// Parses `iTicketLBytes` bytes into a new list in *pContentList (null on
// failure, nothing left allocated), the count of bytes up to and including
// the marker into *piBytesProcessed and the code page field into Codepage.
// 5 malformed stream or no InfoUnit, 9 or 11 from node creation, 15 from
// insertion. Nothing after the marker is looked at.
int32_t HRazuParseTicket(const unsigned char* puscTicket, int32_t iTicketLBytes,
                         ContentList* pContentList, int32_t* piBytesProcessed,
                         char Codepage[kTicketCodepageSize]);

// Writes the signed part (no marker) for the list into puscBuffer of
// capacity *piBufLength; on success *piBufLength is the bytes written.
// 3 buffer too small, 9 a node whose length is outside 0..256.
int32_t HRazuMakeTicketByteStream(ContentList lstContents, const char* pProcessCodepage,
                                  unsigned char* puscBuffer, int32_t* piBufLength);

// Appends marker, signature length and signature after the iSignedL signed
// bytes in the kTicketWorkSize-byte puscWork; *piStreamL gets the stream
// length. 3 when the stream would exceed the work buffer, 15 null argument.
int32_t HRazuAppendSignature(unsigned char* puscWork, int32_t iSignedL,
                             const unsigned char* puscSignature, int32_t iSignatureL,
                             int32_t* piStreamL);

// Encodes the iStreamL-byte stream in the kTicketWorkSize-byte puscWork in
// place and copies the text into pucsOut, zero-filled over its capacity
// *piOutL; *piOutL gets the text length. 3 when the text exceeds the output
// or the work buffer, 1282 any other codec failure, 15 null argument.
int32_t HRazuEncodeTicketStream(unsigned char* puscWork, int32_t iStreamL, char* pucsOut,
                                int32_t* piOutL);

// Finds the signature after a parsed stream of iDecodedL bytes whose
// processed count is iBytesProcessed: *ppuscSignature points into the
// stream, *piSignatureL is its length; the signed part is the first
// iBytesProcessed - 1 bytes. 5 bad signature length, one reaching past the
// data, or a bad processed count (traced at level 1).
int32_t HRazuExtractSignature(const unsigned char* puscDecoded, int32_t iDecodedL,
                              int32_t iBytesProcessed, const unsigned char** ppuscSignature,
                              int32_t* piSignatureL);

// Replaces every "+" by "!" in the first iBufL characters.
void ReplacePlus(char* chBuf, int32_t iBufL);

// Rewrites a received text in place: blanks, "!" and their URL encodings
// become "+", other "%XX" the byte; *iBufL gets the new length and a zero
// follows when room remains.
void ReplaceExclMarkAndURLEncoding(char* chBuf, int32_t* iBufL);
