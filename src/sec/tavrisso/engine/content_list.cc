// Content list operations and the InfoUnit description table.
#include "sec/tavrisso/engine/content_list.h"

#include <stdlib.h>
#include <string.h>

const InfoUnit aInfoUnit[aInfoUnitL] = {
    {"User name", kIUnitTypeText, cIUnitUser, 0},
    {"Creator client", kIUnitTypeText, cIUnitCrCli, 0},
    {"Creator system id", kIUnitTypeText, cIUnitCrName, 0},
    {"RFC ticket", kIUnitTypeText, cIUnitRfc, 0},
    {"UTC Time creation", kIUnitTypeText, cIUnitTCrea, 1},
    {"Duration validity", kIUnitTypeInt32, cIUnitTVal, 0},
    {"Signature", kIUnitTypeRaw, cIUnitSgn, 1},
    {"Duration validity (min)", kIUnitTypeInt32, cIUnitTValMin, 1},
    {"Flags", kIUnitTypeRaw, cIUnitFlags, 1},
    {"Language", kIUnitTypeText, cIUnitLanguage, 1},
    {"User name (UTF-8)", kIUnitTypeUtf8, cIUnitUserUTF8, 1},
    {"Creator client (UTF-8)", kIUnitTypeUtf8, cIUnitCrCliUTF8, 1},
    {"Creator system id (UTF-8)", kIUnitTypeUtf8, cIUnitCrNameUTF8, 0},
    {"UTC Time creation (UTF-8)", kIUnitTypeUtf8, cIUnitTCreaUTF8, 1},
    {"Language (UTF-8)", kIUnitTypeUtf8, cIUnitLanguageUTF8, 1},
    {"Recipient client", kIUnitTypeUtf8, cIUnitRecptCli, 0},
    {"Recipient system id", kIUnitTypeUtf8, cIUnitRecptName, 0},
    {"Portal user name", kIUnitTypeUtf8, cIUnitPortalUser, 0},
    {"Authentication scheme", kIUnitTypeUtf8, cIUnitAuthScheme, 0},
};

namespace {

constexpr uint32_t kMaxInfoUnitID = 255;

// Identifiers order as unsigned byte values.
inline uint8_t order_key(InfoUnitID id) { return static_cast<uint8_t>(id); }

const InfoUnit* find_row(InfoUnitID id) {
  for (const InfoUnit& row : aInfoUnit) {
    if (row.ByteIdent == id) return &row;
  }
  return nullptr;
}

}  // namespace

int32_t HRazuContentNew(const void* pvContent, int16_t iContentLBytes, InfoUnitID id,
                        PCookieContent* ppContent) {
  if (pvContent == nullptr) return kRcNullArgument;
  const uint16_t len = static_cast<uint16_t>(iContentLBytes);  // negative becomes large
  if (len > kContentMaxBytes) return kRcInvalid;
  if (static_cast<uint32_t>(id) > kMaxInfoUnitID) return kRcInvalidTicket;
  if (ppContent == nullptr) return kRcNullArgument;
  auto* node = static_cast<PCookieContent>(calloc(1, sizeof(__CookieContent)));
  *ppContent = node;
  if (node == nullptr) return kRcNoMemory;
  if (len) memcpy(node->ByteContent, pvContent, len);
  node->iContentLBytes = static_cast<int16_t>(len);
  node->InfoId = id;
  return 0;
}

int32_t HRazuInsertContent(ContentList* pCList, PCookieContent pContent) {
  if (pContent == nullptr || pCList == nullptr) return kRcNullArgument;
  if (*pCList == nullptr) {
    // Stale links of a node going into an empty list would drag foreign
    // nodes along; the node stands alone.
    pContent->pNextCtnt = nullptr;
    pContent->pPrevCtnt = nullptr;
    *pCList = pContent;
    return 0;
  }
  if (pContent->pNextCtnt != nullptr || pContent->pPrevCtnt != nullptr) return kRcInvalid;

  const uint8_t key = order_key(pContent->InfoId);
  PCookieContent cur = *pCList;
  PCookieContent last = nullptr;
  for (; cur != nullptr; last = cur, cur = cur->pNextCtnt) {
    if (order_key(cur->InfoId) >= key) break;
  }
  if (cur == nullptr) {
    last->pNextCtnt = pContent;
    pContent->pPrevCtnt = last;
    return 0;
  }
  pContent->pNextCtnt = cur;
  pContent->pPrevCtnt = cur->pPrevCtnt;
  if (cur->pPrevCtnt != nullptr) {
    cur->pPrevCtnt->pNextCtnt = pContent;
  } else {
    *pCList = pContent;
  }
  cur->pPrevCtnt = pContent;
  return 0;
}

PCookieContent HRazuGetContentByID(ContentList CList, InfoUnitID id) {
  // No node carries an identifier above a byte: 257 must not find 1.
  if (id > kMaxInfoUnitID) return nullptr;
  const uint8_t key = order_key(id);
  for (PCookieContent cur = CList; cur != nullptr; cur = cur->pNextCtnt) {
    const uint8_t k = order_key(cur->InfoId);
    if (k < key) continue;
    return k == key ? cur : nullptr;
  }
  return nullptr;
}

PCookieContent FirstContentInRange(ContentList CList, InfoUnitID first, InfoUnitID last) {
  if (first > kMaxInfoUnitID || first > last) return nullptr;
  const uint8_t lo = order_key(first);
  const uint8_t hi = last > kMaxInfoUnitID ? UINT8_MAX : order_key(last);
  // The list is in identifier order: its first node at or above `first` decides.
  for (PCookieContent cur = CList; cur != nullptr; cur = cur->pNextCtnt) {
    const uint8_t k = order_key(cur->InfoId);
    if (k < lo) continue;
    return k <= hi ? cur : nullptr;
  }
  return nullptr;
}

int32_t HRazuDeleteContentFromList(ContentList* pCList, PCookieContent pContent) {
  if (pContent == nullptr || pCList == nullptr) return 0;
  if (*pCList == pContent) {
    *pCList = pContent->pNextCtnt;
    if (*pCList != nullptr) (*pCList)->pPrevCtnt = nullptr;
  } else {
    if (pContent->pPrevCtnt != nullptr) pContent->pPrevCtnt->pNextCtnt = pContent->pNextCtnt;
    if (pContent->pNextCtnt != nullptr) pContent->pNextCtnt->pPrevCtnt = pContent->pPrevCtnt;
  }
  pContent->pNextCtnt = nullptr;
  pContent->pPrevCtnt = nullptr;
  free(pContent);
  return 0;
}

int32_t HRazuMergeLists(ContentList* pToList, ContentList FromList) {
  for (PCookieContent cur = FromList; cur != nullptr; cur = cur->pNextCtnt) {
    PCookieContent copy = HRazuCopyContent(cur);
    if (copy == nullptr) return kRcNoMemory;
    // An insertion cannot fail for a fresh copy unless there is no target;
    // then the copy is not kept.
    if (HRazuInsertContent(pToList, copy) != 0) free(copy);
  }
  return 0;
}

PCookieContent HRazuCopyContent(const __CookieContent* pCont2bCopied) {
  if (pCont2bCopied == nullptr) return nullptr;
  auto* node = static_cast<PCookieContent>(malloc(sizeof(__CookieContent)));
  if (node == nullptr) return nullptr;
  memcpy(node, pCont2bCopied, sizeof(__CookieContent));
  node->pNextCtnt = nullptr;
  node->pPrevCtnt = nullptr;
  return node;
}

int32_t HRazuReleaseContents(ContentList* pCList) {
  if (pCList == nullptr) return 0;
  PCookieContent cur = *pCList;
  while (cur != nullptr) {
    PCookieContent next = cur->pNextCtnt;
    free(cur);
    cur = next;
  }
  *pCList = nullptr;
  return 0;
}

const char* HRazuGetUInfoName(InfoUnitID id) {
  const InfoUnit* row = find_row(id);
  return row ? row->pucsUnitName : nullptr;
}

int32_t HRazuGetDataType(InfoUnitID id) {
  const InfoUnit* row = find_row(id);
  return row ? row->iType : -1;
}

int32_t HRazuCheckUInfoType(InfoUnitID id) { return HRazuGetDataType(id); }

void DumpContentList(DPTRC_FILE_HDL f, ContentList lstContents, int tl) {
  if (tl < 1 || tl > 3) return;
  for (PCookieContent cur = lstContents; cur != nullptr; cur = cur->pNextCtnt) {
    DPTRC_INFO(f, tl, "Next node: \n");
    DumpBuffer(f, cur, sizeof(__CookieContent), tl);
  }
}
