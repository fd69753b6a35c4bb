// JWT module state: the SSF table, the initialised flag and "MUTEX_SSF".
#include <atomic>

#include "base/dptrc/dptrc.h"
#include "base/thr/thr.h"
#include "sec/jwt/jwt.h"
#include "sec/mac/hmac.h"

namespace {
constexpr char TRC_MODULE[] = "sec/jwt/jwtinit";

std::atomic<SsfLib*> jwt_ssf{nullptr};
std::atomic<bool> jwt_initialized{false};
// Created for the module; evaluations are serialised by the library's SSF
// mutex instead, so nothing takes it.
THR_RECMTX_TYPE jwt_mutex = THR_RECMTX_STATIC_INIT;
}  // namespace

int32_t JwtInitializeExtern(SsfLib* ssf_hdl) {
  if (jwt_initialized.load()) return 0;
  // Checked first so that a failed call creates nothing twice.
  if (ssf_hdl == nullptr) return -1;
  if (ThrProcInit() != THR_ERR_OK) {
    DPTRC_ERR(tf.load(), TRC_MODULE, "Thread Library could not be initialized.\n");
    return -1;
  }
  ThrRecMtxInit(&jwt_mutex, "MUTEX_SSF");
  jwt_ssf.store(ssf_hdl);
  jwt_initialized.store(true);
  macGlobalInit();
  return 0;
}

int32_t JwtShutdown() { return 0; }

SsfLib* JwtSsfLib() { return jwt_initialized.load() ? jwt_ssf.load() : nullptr; }
