// Memory key stores: create, load, save and delete by generated name.
#include <string.h>

#include "crypto/frame/frame.h"
#include "crypto/pse/pseint.h"

namespace {

constexpr int32_t kRcCreateFailed = -1;
constexpr int32_t kRcNotInitialized = -1;  // as every entry while the library cannot start
constexpr int32_t kRcMissingName = 1285;
constexpr int32_t kRcRefused = 4129;
constexpr int32_t kRcMemPseBufferTooSmall = 4866;
constexpr int32_t kRcSaveFailed = 22;

using namespace qorcr;

// The bytes a save hands out: the store's image, or an empty PKCS#12 for a
// store that never held one.
PseStatus save_image(const std::string& name, ImageRef* out) {
  PseStatus s = MemRead(name, out);
  if (s != PseStatus::kOk || (*out && !(*out)->empty())) return s;
  auto empty = std::make_shared<Image>();
  s = ImageEmpty(std::string(), empty.get());
  if (s == PseStatus::kOk) *out = std::move(empty);
  return s;
}

}  // namespace

extern "C" {

int32_t qor_create_memory_PSE(char** ppName) {
  SsfEntry entry("qor_create_memory_PSE", false);
  if (!entry.ok()) return kRcNotInitialized;
  if (ppName == nullptr) return kRcMissingName;
  *ppName = nullptr;
  QORCR_NOEXCEPT_BODY(kRcCreateFailed, {
    const char* name = nullptr;
    if (MemCreate(std::string(), nullptr, &name) != PseStatus::kOk) {
      Trace(kTrcError, "qor_create_memory_PSE", "Error creating memory PSE");
      return kRcCreateFailed;
    }
    *ppName = const_cast<char*>(name);
    Trace(kTrcDetail, "qor_create_memory_PSE", "Created memory PSE %s", name);
    return 0;
  })
}

int32_t qor_create_named_memory_PSE(const char* pGivenName, char** ppName) {
  SsfEntry entry("qor_create_named_memory_PSE", false);
  if (!entry.ok()) return kRcNotInitialized;
  if (ppName == nullptr) return kRcMissingName;
  *ppName = nullptr;
  QORCR_NOEXCEPT_BODY(kRcCreateFailed, {
    const char* name = nullptr;
    if (MemCreate(pGivenName != nullptr ? std::string(pGivenName) : std::string(), nullptr, &name) !=
        PseStatus::kOk) {
      Trace(kTrcError, "qor_create_named_memory_PSE", "Error creating memory PSE");
      return kRcCreateFailed;
    }
    *ppName = const_cast<char*>(name);
    Trace(kTrcDetail, "qor_create_named_memory_PSE", "Created memory PSE %s", name);
    return 0;
  })
}

int32_t qor_load_memory_PSE(const char* pName, const unsigned char* pData, int32_t lData) {
  SsfEntry entry("qor_load_memory_PSE", false);
  if (!entry.ok()) return kRcNotInitialized;
  if (pName == nullptr) return kRcMissingName;
  QORCR_NOEXCEPT_BODY(kRcRefused, {
    const bool reset = pData == nullptr || lData == 0;
    if (!reset && (lData < 0 || !ImageLooksValid(pData, static_cast<size_t>(lData)))) {
      Trace(kTrcError, "qor_load_memory_PSE", "Error loading memory PSE %s with %d bytes", pName,
            lData);
      return kRcRefused;
    }
    if (MemLoad(pName, reset ? nullptr : pData, reset ? 0 : static_cast<size_t>(lData)) !=
        PseStatus::kOk) {
      if (reset) {
        Trace(kTrcError, "qor_load_memory_PSE", "Error resetting memory PSE %s", pName);
      } else {
        Trace(kTrcError, "qor_load_memory_PSE", "Error loading memory PSE %s with %d bytes",
              pName, lData);
      }
      return kRcRefused;
    }
    if (!reset)
      Trace(kTrcDetail, "qor_load_memory_PSE", "Loaded memory PSE %s with %d bytes", pName, lData);
    return 0;
  })
}

int32_t qor_save_memory_PSE(const char* pName, unsigned char* pBuffer, int32_t* pSize) {
  SsfEntry entry("qor_save_memory_PSE", false);
  if (!entry.ok()) return kRcNotInitialized;
  if (pName == nullptr || pSize == nullptr) return kRcMissingName;
  QORCR_NOEXCEPT_BODY(kRcSaveFailed, {
    ImageRef image;
    if (save_image(pName, &image) != PseStatus::kOk || !image) {
      Trace(kTrcError, "qor_save_memory_PSE", "Error saving memory PSE %s", pName);
      return kRcSaveFailed;
    }
    const int32_t needed = static_cast<int32_t>(image->size());
    if (pBuffer == nullptr) {
      *pSize = needed;
      Trace(kTrcDetail, "qor_save_memory_PSE", "Saving memory PSE %s requires %d bytes", pName,
            needed);
      return kRcMemPseBufferTooSmall;
    }
    if (*pSize < needed) {
      Trace(kTrcError, "qor_save_memory_PSE",
            "Saving memory PSE %s with %d bytes failed because only %d bytes available", pName,
            needed, *pSize);
      *pSize = needed;
      return kRcMemPseBufferTooSmall;
    }
    memcpy(pBuffer, image->data(), image->size());
    *pSize = needed;
    Trace(kTrcDetail, "qor_save_memory_PSE", "Saved memory PSE %s with %d bytes", pName, needed);
    return 0;
  })
}

int32_t qor_delete_memory_PSE(const char* pName) {
  SsfEntry entry("qor_delete_memory_PSE", false);
  if (!entry.ok()) return kRcNotInitialized;
  if (pName == nullptr) return kRcMissingName;
  QORCR_NOEXCEPT_BODY(kRcRefused, {
    // The name may point into the store itself: trace before it goes.
    Trace(kTrcDetail, "qor_delete_memory_PSE", "Deleting memory PSE %s", pName);
    if (MemDelete(pName) != PseStatus::kOk) {
      Trace(kTrcError, "qor_delete_memory_PSE", "Error deleting memory PSE %s", pName);
      return kRcRefused;
    }
    return 0;
  })
}

}  // extern "C"
