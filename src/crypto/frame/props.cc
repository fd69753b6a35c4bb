// The crypto library's own properties and configuration parameters.
#include <stdlib.h>
#include <string.h>

#include <openssl/crypto.h>

#include <map>
#include <mutex>
#include <string>

#include "crypto/frame/frame.h"
#include "crypto/frame/frameint.h"
#include "crypto/ssf/ssfapi.h"

namespace qorcr {
namespace {

constexpr char kFipsActive[] = "FIPS_140_2_CRYPTO_KERNEL_ACTIVE";
constexpr char kFipsVersion[] = "FIPS_140_2_CRYPTO_KERNEL_VERSION";
constexpr char kProfileActivate[] = "PROFILE_ACTIVATE";
constexpr char kProfileSupport[] = "PROFILE_SUPPORT";
constexpr char kVltPrefix[] = "vlt";
constexpr char kVltSlashPrefix[] = "vlt/";
constexpr char kVltSnc[] = "vlt/snc";
constexpr char kVltConfigProfile[] = "vlt/configuration_profile";
constexpr char kKernelVarPrefix[] = "kernel_var/";
constexpr char kKernelName[] = "QORCRYPTO standard kernel";

constexpr int32_t kRcUnknownName = -1;
constexpr int32_t kRcBadValue = -2;
constexpr int32_t kRcWrongState = -3;
constexpr int32_t kRcTooSmall = -5;

struct Config {
  std::mutex mtx;
  bool fips_selected = false;
  bool params_active = false;
  std::string profile;
  std::map<std::string, std::string> params;  // "vlt..." names
  std::map<std::string, std::string> kernel_vars;
};

Config& config() {
  static Config c;
  return c;
}

bool starts_with(const char* s, const char* prefix) {
  return strncmp(s, prefix, strlen(prefix)) == 0;
}

int32_t copy_out(const std::string& v, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0 || v.size() >= static_cast<size_t>(size)) return kRcTooSmall;
  memcpy(buffer, v.c_str(), v.size() + 1);
  return 0;
}

}  // namespace

bool FipsKernelSelected() {
  std::lock_guard<std::mutex> lock(config().mtx);
  return config().fips_selected;
}

bool ConfigGet(const std::string& name, std::string* out) {
  Config& c = config();
  std::lock_guard<std::mutex> lock(c.mtx);
  auto it = c.params.find(name);
  if (it == c.params.end()) return false;
  *out = it->second;
  return true;
}

}  // namespace qorcr

using namespace qorcr;

extern "C" {

int32_t qorcr_set_property_int(const char* name, int32_t value) {
  if (name == nullptr) return kRcUnknownName;
  Config& c = config();
  std::lock_guard<std::mutex> lock(c.mtx);
  if (strcmp(name, kFipsActive) == 0) {
    if (!IsInitialized()) {
      c.fips_selected = value != 0;
      return 0;
    }
    return (value != 0) == c.fips_selected ? 0 : kRcWrongState;
  }
  if (strcmp(name, kProfileActivate) == 0) {
    if (value != 0) c.params_active = true;
    return 0;
  }
  return kRcUnknownName;
}

int32_t qorcr_set_property_string(const char* name, const char* value) {
  if (name == nullptr) return kRcUnknownName;
  QORCR_NOEXCEPT_BODY(kRcUnknownName, {
    Config& c = config();
    std::lock_guard<std::mutex> lock(c.mtx);
    if (strcmp(name, kFipsActive) == 0) {
      if (IsInitialized()) return kRcWrongState;
      if (value != nullptr && strcmp(value, "YES") == 0) {
        c.fips_selected = true;
      } else if (value != nullptr && strcmp(value, "NO") == 0) {
        c.fips_selected = false;
      } else {
        return kRcBadValue;
      }
      return 0;
    }
    if (strcmp(name, kProfileActivate) == 0) {
      if (value != nullptr && strtol(value, nullptr, 10) != 0) c.params_active = true;
      return 0;
    }
    if (strcmp(name, kVltSnc) == 0 && (value == nullptr || *value == '\0')) {
      c.params.clear();
      c.params_active = false;
      return 0;
    }
    if (strcmp(name, kVltConfigProfile) == 0) {
      c.profile = value ? value : "";
      return 0;
    }
    if (starts_with(name, kVltPrefix)) {
      c.params[name] = value ? value : "";
      return 0;
    }
    if (starts_with(name, kKernelVarPrefix) && name[strlen(kKernelVarPrefix)] != '\0') {
      c.kernel_vars[name + strlen(kKernelVarPrefix)] = value ? value : "";
      return 0;
    }
    return kRcUnknownName;
  })
}

int32_t qorcr_get_property_int(const char* name, int32_t* value) {
  if (value == nullptr) return kRcUnknownName;
  *value = 0;
  if (name == nullptr) return kRcUnknownName;
  if (strcmp(name, kFipsActive) == 0) {
    *value = FipsKernelSelected() ? 1 : 0;
    return IsInitialized() ? 0 : kRcWrongState;
  }
  if (strcmp(name, kFipsVersion) == 0) {
    *value = static_cast<int32_t>(OpenSSL_version_num());
    return IsInitialized() ? 0 : kRcWrongState;
  }
  if (strcmp(name, kProfileSupport) == 0) {
    *value = 1;
    return 0;
  }
  return kRcUnknownName;
}

int32_t qorcr_get_property_string(const char* name, char* buffer, int32_t size) {
  if (name == nullptr) return kRcUnknownName;
  QORCR_NOEXCEPT_BODY(kRcUnknownName, {
    if (strcmp(name, kFipsActive) == 0) return copy_out(kKernelName, buffer, size);
    if (strcmp(name, kFipsVersion) == 0) {
      if (!IsInitialized()) return kRcWrongState;
      return copy_out(OpenSSL_version(OPENSSL_VERSION), buffer, size);
    }
    if (starts_with(name, kVltSlashPrefix)) {
      std::string v;
      if (!ConfigGet(name, &v)) return kRcUnknownName;
      return copy_out(v, buffer, size);
    }
    return kRcUnknownName;
  })
}

}  // extern "C"
