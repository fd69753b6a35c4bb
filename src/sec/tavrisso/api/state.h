// Process-wide state of the ticket library, shared by its modules.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>

#include "base/dptrc/dptrc.h"
#include "base/thr/thr.h"
#include "sec/tavrisso/ssf/table.h"
#include "sec/tavrisso/results.h"
#include "sec/tavrisso/trace.h"

// Module name of the exported calls in the trace, however their files are cut.
constexpr char kTavriExtModule[] = "sec/tavrisso/ssoxxext";

constexpr size_t kTrcFileNameSize = 4096;
constexpr size_t kSysIdSize = 9;
constexpr size_t kClientSize = 4;
constexpr size_t kCodepageSize = 5;
constexpr size_t kSsfHashSize = 20;
constexpr size_t kPsePathSize = 4096;
constexpr size_t kPsePwdSize = 512;
constexpr size_t kX509KeySize = 8192;

extern std::atomic<bool> bInit;
extern SsfLib s_SsfLib;

extern THR_CS_TYPE LoadSection;
extern THR_CS_TYPE paramSetting;
extern THR_RECMTX_TYPE ssf_rmtx;

// The loaded ticket key, guarded by ssf_rmtx.
extern char* pMemoryPSE;
extern char PSEPath[kPsePathSize];
extern char PSEpwd[kPsePwdSize];
extern unsigned char X509Key[kX509KeySize];
extern size_t X509KeyLen;

extern bool bIncludeCert;
// Default code page of returned texts ("QOR_EXT_CODEPAGE").
extern char gQORCodepage[kCodepageSize];

// Holds ssf_rmtx for its scope. When the mutex cannot be taken the trace
// says so and `ok()` is false: the caller returns its specified result.
class SsfMutexGuard {
 public:
  SsfMutexGuard();
  SsfMutexGuard(const SsfMutexGuard&) = delete;
  SsfMutexGuard& operator=(const SsfMutexGuard&) = delete;
  bool ok() const { return guard_.ok(); }

 private:
  ThrRecMtxGuard guard_;
};

// The code page of a call: the record's `requested` one, else the property;
// blanks, "0000" or zeros mean UTF-8 ("4110"). Traced as it is chosen.
void TavriChooseCodepage(const char requested[4], char cp[4]);

// Sets up the thread layer, the code page layer and the library's locks
// once per process. Returns false when the thread layer cannot start.
bool TavriEnsureThreadLayer();

// Releases the memory key store that holds the loaded ticket key, if any,
// and clears the key variables. The caller holds ssf_rmtx.
void TavriReleaseLoadedKey();
