#include <atomic>

#include "base/thr/thr.h"
#include "sec/jwt/jwt.h"

namespace {
std::atomic<SsfLib*> jwt_ssf{nullptr};
}

int32_t JwtInitializeExtern(SsfLib* ssf_hdl) {
  if (jwt_ssf.load() != nullptr) return 0;
  if (ssf_hdl == nullptr) return -1;
  if (ThrProcInit() != THR_ERR_OK) return -1;
  jwt_ssf.store(ssf_hdl);
  return 0;
}

int32_t JwtShutdown() { return 0; }
