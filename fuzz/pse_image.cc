// Reaches qor_load_memory_PSE and the key store opening behind it (PKCS#12
// and PEM bundle decoding, with and without a PIN) and qor_save_memory_PSE.
// Invariant: an image that opens saves to bytes that open again.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "crypto/pse/pse.h"
#include "crypto/ssf/ssfapi.h"

namespace {
const std::string& Store() {
  static const std::string name = [] {
    char* n = nullptr;
    qor_create_memory_PSE(&n);
    return std::string(n ? n : "");
  }();
  return name;
}

bool Opens(const std::string& name, const char* pin) {
  qorcr::PseRef ref;
  return qorcr::PseOpen(name.data(), static_cast<SsfCharlen>(name.size()), pin,
                        static_cast<SsfCharlen>(strlen(pin)), "fuzz", &ref) == 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 18)) return 0;
  const std::string& name = Store();
  if (qor_load_memory_PSE(name.c_str(), data, static_cast<int32_t>(size)) != 0) return 0;
  const char* pin = "1234";
  if (!Opens(name, pin)) {
    pin = "";
    if (!Opens(name, pin)) return 0;
  }
  int32_t need = 0;
  if (qor_save_memory_PSE(name.c_str(), nullptr, &need) != 4866 || need <= 0) return 0;
  std::vector<unsigned char> image(static_cast<size_t>(need));
  if (qor_save_memory_PSE(name.c_str(), image.data(), &need) != 0) return 0;
  if (qor_load_memory_PSE(name.c_str(), image.data(), need) != 0) __builtin_trap();
  // An empty store opens under any PIN and saves without one.
  if (!Opens(name, pin) && !Opens(name, "")) __builtin_trap();
  return 0;
}
