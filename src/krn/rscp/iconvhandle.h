// Owner of one iconv conversion descriptor. iconv_open reports failure as
// (iconv_t)-1 rather than null, so this is a small move-only class instead
// of a unique_ptr.
#pragma once

#include <iconv.h>
#include <stddef.h>

#include <utility>

class IconvHandle {
 public:
  IconvHandle() = default;
  IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~IconvHandle() { Close(); }
  IconvHandle(IconvHandle&& other) noexcept : cd_(std::exchange(other.cd_, Invalid())) {}
  IconvHandle& operator=(IconvHandle&& other) noexcept {
    if (this != &other) {
      Close();
      cd_ = std::exchange(other.cd_, Invalid());
    }
    return *this;
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return cd_ != Invalid(); }
  // Back to the initial state (shift state, held-back characters), as a
  // freshly opened descriptor is.
  void Reset() {
    if (valid()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }
  // iconv(3) on this descriptor; a null `in` flushes the shift state into `out`.
  size_t Convert(char** in, size_t* in_left, char** out, size_t* out_left) {
    return iconv(cd_, in, in_left, out, out_left);
  }

 private:
  static iconv_t Invalid() { return reinterpret_cast<iconv_t>(-1); }
  void Close() {
    if (valid()) iconv_close(cd_);
    cd_ = Invalid();
  }

  iconv_t cd_ = Invalid();
};
