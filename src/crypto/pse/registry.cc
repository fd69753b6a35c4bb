// The registry of memory key stores, the profile map, key store files and
// the cache of decoded contents, all process-wide and thread-safe.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <map>
#include <mutex>

#include "crypto/frame/frame.h"
#include "crypto/base/digest.h"
#include "crypto/pse/pseint.h"

namespace qorcr {
namespace {

constexpr char kMemPrefix[] = "#_MemPSE_#";
constexpr size_t kMemRandomChars = 24;
constexpr char kMemAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr size_t kMemAlphabetSize = sizeof kMemAlphabet - 1;
constexpr char kReauthPrefix[] = "[reauth]";
constexpr char kDefaultProfile[] = "QORdefault";
constexpr size_t kMaxFileCacheEntries = 32;
constexpr size_t kPinHashSize = 32;

using PinHash = std::array<unsigned char, kPinHashSize>;

// A decoded image remembered for one PIN, or the refusal of that PIN (or of
// the image), so a wrong PIN costs one key derivation and not one per call.
struct CacheSlot {
  bool valid = false;
  uint64_t version = 0;
  PinHash pin_hash{};
  PseStatus status = PseStatus::kOk;
  PseRef contents;
};

// What an image decodes to depends on its bytes and the PIN alone.
bool cacheable(PseStatus s) {
  return s == PseStatus::kOk || s == PseStatus::kWrongPin || s == PseStatus::kCorrupt;
}

struct MemPse {
  std::string name;
  ImageRef image;
  uint64_t generation = 0;
  CacheSlot cache;
};

// A file is known by a digest of its bytes: a file replaced in place with
// the same size and time is still a different file.
using ImageDigest = std::array<unsigned char, kPinHashSize>;

struct FileCache {
  ImageDigest digest;
  CacheSlot slot;
};

bool salted_hash(const unsigned char* salt, const std::string& pin, PinHash* out) {
  SslPtr<EVP_MD_CTX> ctx(EVP_MD_CTX_new());
  unsigned int n = 0;
  return ctx && EVP_DigestInit_ex(ctx.get(), DigestMd(SSF_DIGEST_SHA256), nullptr) == 1 &&
         EVP_DigestUpdate(ctx.get(), salt, kPinHashSize) == 1 &&
         EVP_DigestUpdate(ctx.get(), pin.data(), pin.size()) == 1 &&
         EVP_DigestFinal_ex(ctx.get(), out->data(), &n) == 1 && n == kPinHashSize;
}

struct Registry {
  std::mutex mtx;
  std::map<std::string, std::shared_ptr<MemPse>> stores;
  std::vector<std::pair<std::string, std::string>> profiles;  // in creation order
  std::map<std::string, FileCache> files;
  std::mutex file_write_mtx;
  unsigned char pin_salt[kPinHashSize];
  // Most stores open without a PIN (a loaded certificate): its hash is made once.
  PinHash no_pin_hash{};
  bool have_no_pin_hash = false;
  Registry() {
    if (RAND_bytes(pin_salt, sizeof pin_salt) != 1) OPENSSL_cleanse(pin_salt, sizeof pin_salt);
    have_no_pin_hash = salted_hash(pin_salt, std::string(), &no_pin_hash);
  }
};

Registry& reg() {
  static Registry r;
  return r;
}

bool hash_pin(const std::string& pin, PinHash* out) {
  const Registry& r = reg();
  if (pin.empty() && r.have_no_pin_hash) {
    *out = r.no_pin_hash;
    return true;
  }
  return salted_hash(r.pin_salt, pin, out);
}

bool slot_hit(const CacheSlot& s, uint64_t version, const PinHash& h) {
  return s.valid && s.version == version && CRYPTO_memcmp(s.pin_hash.data(), h.data(), h.size()) == 0;
}

bool random_name(std::string* out) {
  unsigned char buf[kMemRandomChars * 2];
  out->assign(kMemPrefix);
  while (out->size() < strlen(kMemPrefix) + kMemRandomChars) {
    if (RAND_bytes(buf, sizeof buf) != 1) return false;
    // Rejection sampling keeps every character equally likely.
    for (unsigned char b : buf) {
      if (b >= (256 / kMemAlphabetSize) * kMemAlphabetSize) continue;
      out->push_back(kMemAlphabet[b % kMemAlphabetSize]);
      if (out->size() == strlen(kMemPrefix) + kMemRandomChars) break;
    }
  }
  return true;
}

bool digest_of(const Image& image, ImageDigest* out) {
  unsigned int n = 0;
  return EVP_Digest(image.data(), image.size(), out->data(), &n, DigestMd(SSF_DIGEST_SHA256),
                    nullptr) == 1 &&
         n == out->size();
}

PseStatus read_file(const std::string& path, Image* out) {
  FILE* f = fopen(path.c_str(), "rb");
  if (f == nullptr) return errno == ENOENT || errno == ENOTDIR ? PseStatus::kNotFound : PseStatus::kIoError;
  std::unique_ptr<FILE, int (*)(FILE*)> owned(f, &fclose);
  unsigned char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
    if (out->size() + n > kMaxImageSize) return PseStatus::kCorrupt;
    out->insert(out->end(), buf, buf + n);
  }
  return ferror(f) ? PseStatus::kIoError : PseStatus::kOk;
}

// Written next to the target and renamed over it, so readers never see half a store.
PseStatus write_file(const std::string& path, const Image& image) {
  std::string tmp = path + ".tmp";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return PseStatus::kIoError;
  size_t done = 0;
  while (done < image.size()) {
    ssize_t w = write(fd, image.data() + done, image.size() - done);
    if (w <= 0) {
      close(fd);
      unlink(tmp.c_str());
      return PseStatus::kIoError;
    }
    done += static_cast<size_t>(w);
  }
  if (close(fd) != 0 || rename(tmp.c_str(), path.c_str()) != 0) {
    unlink(tmp.c_str());
    return PseStatus::kIoError;
  }
  return PseStatus::kOk;
}

PseStatus open_memory(const std::string& name, const std::string& pin, const PinHash& h, PseRef* out) {
  ImageRef image;
  uint64_t gen;
  {
    std::lock_guard<std::mutex> lock(reg().mtx);
    auto it = reg().stores.find(name);
    if (it == reg().stores.end()) return PseStatus::kNotFound;
    MemPse& m = *it->second;
    if (slot_hit(m.cache, m.generation, h)) {
      *out = m.cache.contents;
      return m.cache.status;
    }
    image = m.image;
    gen = m.generation;
  }
  // Decoding (PIN derivation, X.509) runs outside the registry lock.
  PseRef decoded;
  PseStatus s = ImageDecode(image ? *image : Image{}, pin, &decoded);
  if (!cacheable(s)) return s;
  std::lock_guard<std::mutex> lock(reg().mtx);
  auto it = reg().stores.find(name);
  if (it != reg().stores.end() && it->second->generation == gen)
    it->second->cache = CacheSlot{true, gen, h, s, decoded};
  *out = std::move(decoded);
  return s;
}

PseStatus open_file(const std::string& path, const std::string& pin, const PinHash& h, PseRef* out) {
  // Read on every call, decoded only when the bytes or the PIN are new.
  Image image;
  PseStatus s = read_file(path, &image);
  if (s != PseStatus::kOk) return s;
  ImageDigest digest;
  if (!digest_of(image, &digest)) return PseStatus::kNoMemory;
  {
    std::lock_guard<std::mutex> lock(reg().mtx);
    auto it = reg().files.find(path);
    if (it != reg().files.end() && it->second.digest == digest && slot_hit(it->second.slot, 0, h)) {
      *out = it->second.slot.contents;
      return it->second.slot.status;
    }
  }
  PseRef decoded;
  s = ImageDecode(image, pin, &decoded);
  if (!cacheable(s)) return s;
  std::lock_guard<std::mutex> lock(reg().mtx);
  if (reg().files.size() >= kMaxFileCacheEntries && reg().files.count(path) == 0)
    reg().files.erase(reg().files.begin());
  reg().files[path] = FileCache{digest, CacheSlot{true, 0, h, s, decoded}};
  *out = std::move(decoded);
  return s;
}

}  // namespace

std::string PinOf(const char* password, SsfCharlen passwordL) {
  if (password == nullptr || passwordL <= 0 || password[0] == '!') return std::string();
  return std::string(password, static_cast<size_t>(passwordL));
}

PseStatus ResolveName(const std::string& in, StoreRef* out) {
  std::string name = in;
  std::string mapped;
  if (ProfileLookup(name, &mapped)) name = mapped;
  if (name.compare(0, strlen(kReauthPrefix), kReauthPrefix) == 0) {
    name.erase(0, strlen(kReauthPrefix));
    if (ProfileLookup(name, &mapped)) name = mapped;
  }
  if (name.empty() && !ProfileLookup(kDefaultProfile, &name)) return PseStatus::kNotFound;
  out->kind = name.compare(0, strlen(kMemPrefix), kMemPrefix) == 0 ? StoreRef::Kind::kMemory
                                                                   : StoreRef::Kind::kFile;
  out->key = std::move(name);
  return PseStatus::kOk;
}

PseStatus StoreOpen(const StoreRef& ref, const std::string& pin, PseRef* out) {
  PinHash h;
  if (!hash_pin(pin, &h)) return PseStatus::kNoMemory;
  return ref.kind == StoreRef::Kind::kMemory ? open_memory(ref.key, pin, h, out)
                                             : open_file(ref.key, pin, h, out);
}

PseStatus StoreWrite(const StoreRef& ref, const Image& image, const std::string& pin,
                     const PseRef& contents) {
  PinHash h;
  if (!hash_pin(pin, &h)) return PseStatus::kNoMemory;
  if (ref.kind == StoreRef::Kind::kFile) {
    std::lock_guard<std::mutex> wlock(reg().file_write_mtx);
    PseStatus s = write_file(ref.key, image);
    std::lock_guard<std::mutex> lock(reg().mtx);
    reg().files.erase(ref.key);
    return s;
  }
  auto copy = std::make_shared<const Image>(image);
  std::lock_guard<std::mutex> lock(reg().mtx);
  auto it = reg().stores.find(ref.key);
  if (it == reg().stores.end()) return PseStatus::kNotFound;
  MemPse& m = *it->second;
  m.image = std::move(copy);
  ++m.generation;
  m.cache = contents ? CacheSlot{true, m.generation, h, PseStatus::kOk, contents} : CacheSlot{};
  return PseStatus::kOk;
}

bool StoreHasImage(const StoreRef& ref) {
  if (ref.kind == StoreRef::Kind::kFile) {
    struct stat st;
    return stat(ref.key.c_str(), &st) == 0 && st.st_size > 0;
  }
  std::lock_guard<std::mutex> lock(reg().mtx);
  auto it = reg().stores.find(ref.key);
  return it != reg().stores.end() && it->second->image && !it->second->image->empty();
}

PseStatus MemCreate(const std::string& suffix, std::string* name, const char** stable_name) {
  auto m = std::make_shared<MemPse>();
  if (!random_name(&m->name)) return PseStatus::kIoError;
  if (!suffix.empty()) m->name += ":" + suffix;
  std::lock_guard<std::mutex> lock(reg().mtx);
  if (!reg().stores.emplace(m->name, m).second) return PseStatus::kExists;
  if (name) *name = m->name;
  if (stable_name) *stable_name = m->name.c_str();
  return PseStatus::kOk;
}

PseStatus MemLoad(const std::string& name, const unsigned char* data, size_t len) {
  ImageRef image;
  if (data != nullptr && len > 0) image = std::make_shared<const Image>(data, data + len);
  std::lock_guard<std::mutex> lock(reg().mtx);
  auto it = reg().stores.find(name);
  if (it == reg().stores.end()) return PseStatus::kNotFound;
  it->second->image = std::move(image);
  ++it->second->generation;
  it->second->cache = CacheSlot{};
  return PseStatus::kOk;
}

PseStatus MemRead(const std::string& name, ImageRef* image) {
  std::lock_guard<std::mutex> lock(reg().mtx);
  auto it = reg().stores.find(name);
  if (it == reg().stores.end()) return PseStatus::kNotFound;
  *image = it->second->image;
  return PseStatus::kOk;
}

PseStatus MemDelete(const std::string& name) {
  std::lock_guard<std::mutex> lock(reg().mtx);
  return reg().stores.erase(name) == 1 ? PseStatus::kOk : PseStatus::kNotFound;
}

void PseForgetAll() {
  std::lock_guard<std::mutex> lock(reg().mtx);
  reg().stores.clear();
  reg().profiles.clear();
  reg().profiles.shrink_to_fit();
  reg().files.clear();
}

bool ProfileLookup(const std::string& profile, std::string* mem_name) {
  std::lock_guard<std::mutex> lock(reg().mtx);
  for (const auto& p : reg().profiles)
    if (p.first == profile) return *mem_name = p.second, true;
  return false;
}

bool ProfileAdd(const std::string& profile, const std::string& mem_name) {
  std::lock_guard<std::mutex> lock(reg().mtx);
  for (const auto& p : reg().profiles)
    if (p.first == profile) return false;
  reg().profiles.emplace_back(profile, mem_name);
  return true;
}

bool ProfileRemove(const std::string& profile, std::string* mem_name) {
  std::lock_guard<std::mutex> lock(reg().mtx);
  auto& list = reg().profiles;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->first != profile) continue;
    *mem_name = it->second;
    list.erase(it);
    if (list.empty()) list.shrink_to_fit();
    return true;
  }
  return false;
}

}  // namespace qorcr
