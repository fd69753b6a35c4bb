// Internals of the key store layer: its own status codes, the image codec
// and the store registry.
#pragma once

#include <stdint.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crypto/base/wipealloc.h"
#include "crypto/pse/pse.h"

namespace qorcr {

// Outcomes of the key store layer, mapped to SSF codes by each service.
enum class PseStatus {
  kOk,
  kNotFound,
  kWrongPin,
  kCorrupt,
  kNoMemory,
  kExists,
  kIoError,
  kDuplicateCert,
};

// The layer's numeric code and text of a status, for traces and the error stack.
uint32_t PseStatusCode(PseStatus s);
const char* PseStatusText(PseStatus s);

// Key store bytes may hold a private key (a plain PEM bundle, or the
// PIN-protected PKCS#12), so they are wiped whenever they are freed.
using Image = std::vector<unsigned char, WipingAllocator<unsigned char>>;
using ImageRef = std::shared_ptr<const Image>;

constexpr size_t kMaxImageSize = 16u << 20;

// Decodes a key store image (PKCS#12 DER with the PIN as password, or a PEM
// bundle of certificates and a private key, plain or PKCS#8-encrypted with
// the PIN). An empty image is an empty store. `pin` empty: no PIN.
PseStatus ImageDecode(const Image& image, const std::string& pin, PseRef* out);
// Whether a PKCS#12 image is encrypted with an old PBE cipher (RC2, RC4,
// single DES) that only OpenSSL's legacy provider offers.
bool Pkcs12UsesLegacyCipher(PKCS12* p12);
// Runs `decode` with a library context holding the legacy and default
// providers (made on first use) as this thread's default; kCorrupt when the
// legacy provider is not installed.
PseStatus WithLegacyProvider(const std::function<PseStatus()>& decode);
// A private key decoded in that context, re-read into the default one.
PseStatus KeyIntoDefaultContext(SslPtr<EVP_PKEY>* key);
// PKCS#12 DER of `contents` protected by `pin` (none when empty).
PseStatus ImageEncode(const PseContents& contents, const std::string& pin, Image* out);
// PKCS#12 DER of an empty store.
PseStatus ImageEmpty(const std::string& pin, Image* out);
// A cheap structural check without the PIN (DER PKCS#12 or PEM text).
bool ImageLooksValid(const unsigned char* data, size_t len);

// Where a resolved name lives.
struct StoreRef {
  enum class Kind { kMemory, kFile } kind = Kind::kFile;
  std::string key;  // memory key store name or file path
};

// Resolves a name as PseOpen describes.
PseStatus ResolveName(const std::string& name, StoreRef* out);

// Reads and decodes a store with a PIN, from the cache when it holds this
// store's current image for the same PIN.
PseStatus StoreOpen(const StoreRef& ref, const std::string& pin, PseRef* out);
// Replaces a store's image (and primes the cache with `contents` for `pin`).
PseStatus StoreWrite(const StoreRef& ref, const Image& image, const std::string& pin,
                     const PseRef& contents);
// True when the store exists and holds an image of non-zero length.
bool StoreHasImage(const StoreRef& ref);

// Memory key store registry. Names are "#_MemPSE_#" and 24 random
// printable characters, ":" and `suffix` when one is given.
PseStatus MemCreate(const std::string& suffix, std::string* name, const char** stable_name);
PseStatus MemLoad(const std::string& name, const unsigned char* data, size_t len);
PseStatus MemRead(const std::string& name, ImageRef* image);
PseStatus MemDelete(const std::string& name);

// Profile map: profile name -> memory key store name.
bool ProfileLookup(const std::string& profile, std::string* mem_name);
bool ProfileAdd(const std::string& profile, const std::string& mem_name);
bool ProfileRemove(const std::string& profile, std::string* mem_name);

// The PIN a password stands for: empty for none or for a "!" password.
std::string PinOf(const char* password, SsfCharlen passwordL);

// Profile services without the entry frame (used by the initialisation).
int32_t CreateProfileImpl(const std::string& name, const std::string& pin,
                          const unsigned char* data, size_t len);
int32_t RemoveProfileImpl(const std::string& name);

}  // namespace qorcr

// An opened key store.
struct ssf_profile_s {
  qorcr::StoreRef ref;
  std::string pin;
  qorcr::PseRef contents;
  ~ssf_profile_s();
};

// A decoded certificate with its own reference count.
struct ssf_cert_s {
  std::atomic<int> refs{1};
  qorcr::SslPtr<X509> x509;
};
