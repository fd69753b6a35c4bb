// Content list: the in-memory form of a ticket's fields. One fixed-size heap
// node per InfoUnit, doubly linked and kept in ascending identifier order.
// Whoever builds a list releases it with HRazuReleaseContents.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/dptrc/dptrc.h"
#include "sec/tavrisso/results.h"

// Field identifiers; one byte on the wire, 32 bits in memory.
enum InfoUnitID : uint32_t {
  cIUnitUser = 1,
  cIUnitCrCli = 2,
  cIUnitCrName = 3,
  cIUnitTCrea = 4,
  cIUnitTVal = 5,
  cIUnitRfc = 6,
  cIUnitTValMin = 7,
  cIUnitFlags = 8,
  cIUnitLanguage = 9,
  cIUnitUserUTF8 = 10,
  cIUnitCrCliUTF8 = 11,
  cIUnitCrNameUTF8 = 12,
  cIUnitTCreaUTF8 = 13,
  cIUnitLanguageUTF8 = 14,
  cIUnitRecptCli = 15,
  cIUnitRecptName = 16,
  cIUnitPortalUser = 32,
  cIUnitAuthScheme = 136,
  cIUnitFourByteID = 254,
  cIUnitSgn = 255,
};

// Data type codes of the description table (`iType`).
constexpr int32_t kIUnitTypeRaw = 0;      // raw bytes
constexpr int32_t kIUnitTypeText = 1;     // text in the ticket's code page
constexpr int32_t kIUnitTypeInt32 = 3;    // 4-byte big-endian signed integer
constexpr int32_t kIUnitTypeUtf8 = 4;     // UTF-8 text, never converted

// Largest value of one field, in bytes.
constexpr int kContentMaxBytes = 256;
// Portal user names may stand under any identifier of this range.
constexpr uint32_t kPortalUserFirstID = 32;
constexpr uint32_t kPortalUserLastID = 63;

struct __CookieContent {
  InfoUnitID InfoId;
  unsigned char ByteContent[kContentMaxBytes];  // bytes beyond the value are zero
  int16_t iContentLBytes;                       // 0..256
  int16_t iContentLChars;                       // set by the code page conversion
  __CookieContent* pNextCtnt;                   // higher or equal identifier
  __CookieContent* pPrevCtnt;
};
typedef __CookieContent* PCookieContent;
// A list is the pointer to its first node; null is the empty list.
typedef __CookieContent* ContentList;

static_assert(sizeof(InfoUnitID) == 4, "InfoUnitID is 32 bits");
static_assert(offsetof(__CookieContent, ByteContent) == 4, "node layout");
static_assert(offsetof(__CookieContent, iContentLBytes) == 260, "node layout");
static_assert(offsetof(__CookieContent, iContentLChars) == 262, "node layout");

// One row of the InfoUnit description table.
struct InfoUnit {
  const char* pucsUnitName;
  int32_t iType;
  InfoUnitID ByteIdent;
  unsigned char bQORIntern;
};

constexpr int aInfoUnitL = 19;
extern const InfoUnit aInfoUnit[aInfoUnitL];

// New unlinked, zero-filled node holding `iContentLBytes` bytes of `pvContent`.
// 15 null value pointer, 9 length above 256 (negative included), 5 identifier
// above 255, 11 no memory (then *ppContent is null).
int32_t HRazuContentNew(const void* pvContent, int16_t iContentLBytes, InfoUnitID id,
                        PCookieContent* ppContent);

// Inserts before the first node with an equal or higher identifier, so the
// latest of equal identifiers stands first. 15 null argument, 9 node still
// linked (list unchanged). On failure the caller keeps the node.
int32_t HRazuInsertContent(ContentList* pCList, PCookieContent pContent);

// First node with identifier `id` (the latest inserted of equals), or null.
PCookieContent HRazuGetContentByID(ContentList CList, InfoUnitID id);

// The node HRazuGetContentByID finds for the lowest identifier from `first`
// to `last` that the list holds, found in one walk; null when none.
PCookieContent FirstContentInRange(ContentList CList, InfoUnitID first, InfoUnitID last);

// Unlinks the node, which must belong to the list, and frees it. Returns 0.
int32_t HRazuDeleteContentFromList(ContentList* pCList, PCookieContent pContent);

// Inserts a copy of every node of FromList into *pToList. 11 when a copy
// cannot be made (the copies made so far stay), else 0.
int32_t HRazuMergeLists(ContentList* pToList, ContentList FromList);

// New unlinked copy of a node, or null for null input or no memory.
PCookieContent HRazuCopyContent(const __CookieContent* pCont2bCopied);

// Frees every node and empties the list. Returns 0.
int32_t HRazuReleaseContents(ContentList* pCList);

// Description table lookups: the name, or null; the data type, or -1.
const char* HRazuGetUInfoName(InfoUnitID id);
int32_t HRazuGetDataType(InfoUnitID id);
int32_t HRazuCheckUInfoType(InfoUnitID id);

// Trace: for each node "Next node: \n" and a hex dump of the node at level tl.
void DumpContentList(DPTRC_FILE_HDL f, ContentList lstContents, int tl);
