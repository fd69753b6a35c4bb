// Code page conversion layer: converters between the system's numbered code
// pages, built on the C library's iconv. A converter is zero-initialised,
// configured, activated, used once and finished. Every operation returns an
// RSCP_RC (0 = success).
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/dptrc/dptrc.h"
#include "krn/rscp/iconvhandle.h"

// Four-character code page identifier, not zero-terminated ("4110" = UTF-8).
constexpr size_t kRscpCodepageLen = 4;
typedef char QOR_S_CODEPAGE[kRscpCodepageLen];

typedef int32_t RSCP_RC;
enum : RSCP_RC {
  RSCP_OK = 0,
  RSCPE_PARAM = 1,        // null pointer, bad setting value, positions out of order
  RSCPE_CODEPAGE = 2,     // identifier not in the code page table
  RSCPE_STATE = 3,        // converter used out of order (not initialised or not active)
  RSCPE_SYSTEM = 4,       // the C library cannot provide the converter
  RSCPE_MISSING = 5,      // a character has no form in the target and substitution is off
  RSCPE_BROKEN = 6,       // input is not valid in the source code page and not treated as missing
  RSCPE_OUTPUT_FULL = 7,  // the output end was reached before all input was converted
};

// Settings of rscpCInit.
enum rscpMiss_t : int32_t { miss_error = 0, miss_substitute = 1 };
enum rscpBroken_t : int32_t { broken_error = 0, broken_like_miss = 1 };
enum rscpFill_t : int32_t { fill_never = 0 };
// Control codes (C0, DEL and C1): treated as unmappable, or converted like
// any other character.
enum CtrlCodeCv_t : int32_t { CtrlCodeCv_illegal = 0, CtrlCodeCv_try = 1 };
// The layer's own characters, the Unicode private use area U+E000..U+F8FF:
// treated as unmappable, or converted where the target has them.
enum QOROwnChCv_t : int32_t { QOROwnChCv_illegal = 0, QOROwnChCv_try = 1 };

struct rscpCodepageRow;

// One converter. Value-initialise it (`rscpCObj_t c{};`) before rscpCInit.
struct rscpCObj_t {
  const rscpCodepageRow* in_cp = nullptr;
  const rscpCodepageRow* out_cp = nullptr;
  rscpMiss_t miss = miss_error;
  rscpBroken_t broken = broken_error;
  uint32_t subst_qor = 0;
  uint32_t subst_u4 = 0;
  bool filter = false;
  CtrlCodeCv_t ctrl = CtrlCodeCv_illegal;
  QOROwnChCv_t own = QOROwnChCv_illegal;
  bool inited = false;
  bool active = false;
  // Printable ASCII reads and writes as itself at both ends.
  bool ascii_same = false;
  IconvHandle decoder;  // source code page to UTF-32
  IconvHandle encoder;  // UTF-32 to target code page
};

// Last error of the calling thread.
struct rscpErr_t {
  RSCP_RC rc;
  char text[160];
};

// Chooses which errors are recorded (-1: all). Converters need no other
// set-up, so calling it twice, or not at all, does no harm.
RSCP_RC rscpi_init(int32_t err_mask);

// A null code page means the layer's current user code page, UTF-8 ("4110").
RSCP_RC rscpCInit(rscpCObj_t* obj, const char* inCP, const char* outCP, rscpMiss_t miss,
                  rscpBroken_t broken, rscpFill_t fill);
// The substitution character as a code point (35 = "#"), written in the target code page.
RSCP_RC rscpCSetSubstQOR(rscpCObj_t* obj, uint32_t ch);
// A non-zero code point used instead of the substitution character.
RSCP_RC rscpCSetSubstU4(rscpCObj_t* obj, uint32_t ch);
// true: unmappable characters are dropped instead of substituted.
RSCP_RC rscpCSetFilter(rscpCObj_t* obj, bool filter);
RSCP_RC rscpCSetCtrlCodeCv(rscpCObj_t* obj, CtrlCodeCv_t cv);
RSCP_RC rscpCSetQOROwnChCv(rscpCObj_t* obj, QOROwnChCv_t cv);
RSCP_RC rscpCActivate(rscpCObj_t* obj);
// Converts [*ppIn, inEnd) into [*ppOut, outEnd), whole characters only, and
// advances both positions past what was consumed and produced. Nothing is
// written at or beyond outEnd; when the output end comes first the result is
// RSCPE_OUTPUT_FULL.
RSCP_RC rscpCConvert(rscpCObj_t* obj, unsigned char** ppOut, unsigned char* outEnd,
                     const unsigned char** ppIn, const unsigned char* inEnd);
RSCP_RC rscpCFinish(rscpCObj_t* obj);

const rscpErr_t* rscple_last_error();
// Writes the error's description to the trace file at level 1.
void rscpep1_err_print1(DPTRC_FILE_HDL f, const rscpErr_t* err);

// Text to UTF-8 and back, substituting "#", broken input like unmappable,
// control codes and own characters converted where possible. On
// RSCPE_OUTPUT_FULL the whole characters that fit have been written, so a
// caller that cuts at a field size can take them.
RSCP_RC UcnToUtf8nCP(const char* cp, unsigned char** ppOut, unsigned char* outEnd,
                     const unsigned char** ppIn, const unsigned char* inEnd);
RSCP_RC Utf8nToUcnCP(const char* cp, unsigned char** ppOut, unsigned char* outEnd,
                     const unsigned char** ppIn, const unsigned char* inEnd);
// Zero-terminated UTF-8 into the current user code page: at most capacity - 1
// characters (never half of one) and a terminating zero; the count written
// goes to *pWritten. Cutting at the capacity is part of the contract, not an
// error; a capacity of 0 writes nothing.
RSCP_RC Utf8sToUcs(char* dest, size_t capacity, size_t* pWritten, const unsigned char* src);
