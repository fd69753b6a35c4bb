// Library lifecycle and the ten properties.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "krn/rscp/rscp.h"
#include "qorjwt.h"
#include "sec/jwt/jwt.h"
#include "sec/tavrisso/api/jwks_load.h"
#include "sec/tavrisso/api/key_snapshot.h"
#include "sec/tavrisso/api/state.h"

namespace {
constexpr const char* TRC_MODULE = kTavriExtModule;
constexpr char kDefaultSsfLib[] = "libqorcrypto.so";
constexpr char kPropertyList[] =
    "QOR_EXT_TRC;QOR_EXT_TRL;QOR_EXT_SYSID;QOR_EXT_CLIENT;QOR_OWN_SYSID;QOR_OWN_CLIENT;"
    "QOR_EXT_CODEPAGE;SSF_LIB;SSF_HASH;SSF_INCLUDE_CERT";
// The platform this library was built for, from the compiler's target.
#if defined(__x86_64__)
#define QOR_PLATFORM_CPU "x86_64"
#elif defined(__aarch64__)
#define QOR_PLATFORM_CPU "ARM64"
#elif defined(__powerpc64__)
#define QOR_PLATFORM_CPU "IBM Power"
#elif defined(__s390x__)
#define QOR_PLATFORM_CPU "IBM Z"
#elif defined(__i386__)
#define QOR_PLATFORM_CPU "x86"
#else
#define QOR_PLATFORM_CPU "unknown processor"
#endif
#if defined(__linux__)
#define QOR_PLATFORM_OS "Linux"
#else
#define QOR_PLATFORM_OS "unknown system"
#endif
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define QOR_PLATFORM_ENDIAN "little endian"
#else
#define QOR_PLATFORM_ENDIAN "big endian"
#endif
constexpr char kPlatform[] = QOR_PLATFORM_CPU " with " QOR_PLATFORM_OS " (" QOR_PLATFORM_ENDIAN ")";
constexpr char kThreadModel[] = "multithread";
constexpr int kTrcLevelNotSet = -1;
}  // namespace

std::atomic<bool> bInit{false};
SsfLib s_SsfLib;

THR_CS_TYPE LoadSection = THR_CS_STATIC_INIT;
THR_CS_TYPE paramSetting = THR_CS_STATIC_INIT;
THR_RECMTX_TYPE ssf_rmtx = THR_RECMTX_STATIC_INIT;

char* pMemoryPSE = nullptr;
char PSEPath[kPsePathSize];
char PSEpwd[kPsePwdSize];
unsigned char X509Key[kX509KeySize];
size_t X509KeyLen = 0;

bool bIncludeCert = false;
char gQORCodepage[kCodepageSize] = "1100";

namespace {

std::atomic<bool> bThrInit{false};
pthread_mutex_t thr_init_mutex = PTHREAD_MUTEX_INITIALIZER;

char gzsTrcFile[kTrcFileNameSize] = "";
// Read by RavAreGetProperty without a lock while a set may change it.
std::atomic<int> iTrcLevel{kTrcLevelNotSet};
// The level texts RavAreGetProperty returns: constants, so concurrent
// readers never write shared storage.
constexpr const char* kTrcLevelText[] = {"0", "1", "2", "3"};
char gQORSYSID[kSysIdSize] = "SYS";
char gQORMANDT[kClientSize] = "000";
char gEXTSYSID[kSysIdSize] = "EXT";
char gEXTMANDT[kClientSize] = "999";
char gSsfHash[kSsfHashSize] = "SHA1";
char gIncludeCert[2] = "0";
// The "SSF_LIB=..." text handed to putenv must outlive the call.
char* gSsfLibEnv = nullptr;

// A string property: its storage, capacity and default.
struct TextProperty {
  const char* name;
  char* value;
  size_t size;
  const char* deflt;
  const char* env;  // environment variable that overrides the default
};

TextProperty kTextProperties[] = {
    {"QOR_EXT_SYSID", gEXTSYSID, sizeof gEXTSYSID, "EXT", "QORSYSTEMNAME"},
    {"QOR_EXT_CLIENT", gEXTMANDT, sizeof gEXTMANDT, "999", "QORSYSTEMCLIENT"},
    {"QOR_OWN_SYSID", gQORSYSID, sizeof gQORSYSID, "SYS", "QORSYSTEMNAME"},
    {"QOR_OWN_CLIENT", gQORMANDT, sizeof gQORMANDT, "000", "QORSYSTEMCLIENT"},
    {"QOR_EXT_CODEPAGE", gQORCodepage, sizeof gQORCodepage, "1100", "QOR_EXT_CODEPAGE"},
    {"SSF_HASH", gSsfHash, sizeof gSsfHash, "SHA1", "SSF_HASH"},
};

TextProperty* find_text_property(const char* name) {
  for (auto& p : kTextProperties)
    if (strcmp(p.name, name) == 0) return &p;
  return nullptr;
}

// A value that does not fit with its terminator leaves the field empty.
void copy_fitting(char* dst, size_t size, const char* src) {
  size_t n = strlen(src);
  if (n >= size) {
    dst[0] = '\0';
    return;
  }
  memcpy(dst, src, n + 1);
}

bool is_blank(const char* v) { return v == nullptr || v[0] == '\0'; }

int parse_level_char(const char* v) {
  switch (v[0]) {
    case '0': return 0;
    case '1': return 1;
    case '2': return 2;
    case '3': return 3;
    default: return 1;
  }
}

bool parse_include_cert(const char* v) {
  if (v == nullptr) return false;
  size_t n = strlen(v);
  return (n == 1 && v[0] == '1') || (n == 3 && strcasecmp(v, "yes") == 0) ||
         (n == 4 && strcasecmp(v, "true") == 0);
}

bool set_trace_level(const char* v) {
  DpLockGuard guard;
  if (!guard.ok()) return false;
  if (is_blank(v)) {
    iTrcLevel = kTrcLevelNotSet;
    ct_level = 0;
    return true;
  }
  iTrcLevel = parse_level_char(v);
  ct_level = iTrcLevel.load();
  return true;
}

int trace_open_level() {
  const int level = iTrcLevel.load();
  return (level >= 0 && level <= 3) ? level : 1;
}

void close_library_handle() {
  DPTRC_FILE_HDL cur = tavriTf.load();
  if (cur != nullptr && cur != stdout && cur != stderr) CTrcFileClose(cur);
  if (tf.load() == cur) tf = nullptr;
}

void open_trace_file(const char* name) {
  if (strlen(name) >= sizeof gzsTrcFile) {
    // A name that cannot be stored could never be closed again.
    gzsTrcFile[0] = '\0';
    tavriTf = nullptr;
    return;
  }
  memcpy(gzsTrcFile, name, strlen(name) + 1);
  DPTRC_FILE_HDL f = CTrcInit(gzsTrcFile, 1, trace_open_level());
  tavriTf = f;
  tf = f;
}

// Opens, switches or closes the trace handle (false without the trace
// lock); caller holds paramSetting.
bool set_trace_file(const char* v) {
  DpLockGuard guard;
  if (!guard.ok()) return false;
  if (gzsTrcFile[0] == '\0' && v != nullptr) {
    if (strcmp(v, "stdout") == 0) {
      tavriTf = stdout;
    } else if (strcmp(v, "stderr") == 0) {
      tavriTf = stderr;
    } else if (strcmp(v, "tf") == 0) {
      DPTRC_FILE_HDL shared = tf.load();
      tavriTf = shared ? shared : stdout;
    } else {
      open_trace_file(v);
    }
    return true;
  }
  // The value may point at gzsTrcFile itself (a re-set of the stored name).
  std::string name = v ? v : "";
  close_library_handle();
  if (v != nullptr) {
    open_trace_file(name.c_str());
  } else {
    gzsTrcFile[0] = '\0';
    tavriTf = nullptr;
  }
  return true;
}

void set_ssf_lib(const char* v) {
  if (v == nullptr) return;
  size_t n = strlen("SSF_LIB=") + strlen(v) + 1;
  char* text = static_cast<char*>(malloc(n));
  if (text == nullptr) return;
  snprintf(text, n, "SSF_LIB=%s", v);
  putenv(text);
  free(gSsfLibEnv);
  gSsfLibEnv = text;
}

// set_property_locked's result for a name it does not know.
constexpr int32_t kPropertyUnknown = -1;

// kRcOk, kPropertyUnknown, or kRcInvalid when the trace lock cannot be taken.
int32_t set_property_locked(const char* name, const char* v) {
  if (strcmp(name, "QOR_EXT_TRC") == 0) {
    if (!set_trace_file(v)) return kRcInvalid;
  } else if (strcmp(name, "QOR_EXT_TRL") == 0) {
    if (!set_trace_level(v)) return kRcInvalid;
  } else if (TextProperty* p = find_text_property(name)) {
    copy_fitting(p->value, p->size, is_blank(v) ? p->deflt : v);
  } else if (strcmp(name, "SSF_LIB") == 0) {
    set_ssf_lib(v);
  } else if (strcmp(name, "SSF_INCLUDE_CERT") == 0) {
    bIncludeCert = parse_include_cert(v);
    gIncludeCert[0] = bIncludeCert ? '1' : '0';
  } else {
    return kPropertyUnknown;
  }
  return kRcOk;
}

const char* read_trace_level() {
  int level = iTrcLevel.load();
  if (level == kTrcLevelNotSet) {
    const char* env = getenv("QOR_EXT_TRL");
    level = env ? static_cast<int>(strtol(env, nullptr, 10)) : 1;
  }
  return kTrcLevelText[(level >= 0 && level <= 3) ? level : 1];
}

void write_init_header() {
  DPTRC_INFO(tavriTf.load(), 0, "    Initializing QORJWT Version %d \n", QORJWT_VERSION);
  DPTRC_INFO(tavriTf.load(), 0, "    Built at %s %s using release %s, patch %d \n", __DATE__,
             __TIME__, QOR_RELEASE, QOR_PATCH);
  DPTRC_INFO(tavriTf.load(), 0,
             "    %s on %s environment with (QOR_CHAR/size_t/void* = %u/%u/%u)\n", kPlatform,
             kThreadModel, static_cast<unsigned>(8 * sizeof(char)),
             static_cast<unsigned>(8 * sizeof(size_t)), static_cast<unsigned>(8 * sizeof(void*)));
}

// Swaps the trace level under the trace lock and returns the old one (the
// level stays without the lock).
int swap_trace_level(int level) {
  DpLockGuard guard;
  if (!guard.ok()) return ct_level.load();
  return ct_level.exchange(level);
}

// The crypto library's name: the argument, else "SSF_LIB", else the default.
const char* ssf_library_name(const char* pzucsSsfLib) {
  if (!is_blank(pzucsSsfLib)) return pzucsSsfLib;
  const char* env = getenv("SSF_LIB");
  if (is_blank(env)) return kDefaultSsfLib;
  TAVRI_TRC(2, "Use SSF_LIB = %s \n ", env);
  return env;
}

// The first-time part of TavriInitialize; caller holds LoadSection.
int32_t initialize_once(const char* pzucsSsfLib) {
  if (tavriTf.load() != nullptr) write_init_header();

  SSF_SUP_RC sup_rc;
  const char* lib_name = pzucsSsfLib;
  {
    SsfMutexGuard guard;
    if (!guard.ok()) return kRcInvalid;
    lib_name = ssf_library_name(pzucsSsfLib);
    // The crypto library lives in this object: the loader is only asked.
    int32_t dll_hdl = -1;
    const int saved_level = swap_trace_level(0);
    DlLoadLib(lib_name, &dll_hdl);
    swap_trace_level(saved_level);
    dll_hdl = -1;

    s_SsfLib = SsfLib{};
    sup_rc = SsfSupInit3(dll_hdl, lib_name, &s_SsfLib, nullptr, nullptr, kSsfSupVersion);
  }
  if (sup_rc != SSF_SUP_OK && sup_rc != SSF_SUP_NOTALLFUNCTIONS) {
    TAVRI_ERR("SsfInit error %s, couldn't load library %s.", SsfSupErrorName(sup_rc), lib_name);
    return kRcInternal;
  }

  int saved_level = swap_trace_level(0);
  int32_t jwt_rc = JwtInitializeExtern(&s_SsfLib);
  if (jwt_rc != 0) {
    swap_trace_level(saved_level);
    TAVRI_ERR("JwtInitialize error %d", jwt_rc);
    return kRcInternal;
  }
  char* version = nullptr;
  size_t version_len = 0;
  SsfSupToolkitVersionString(&s_SsfLib, &version, &version_len);
  swap_trace_level(saved_level);
  if (version != nullptr && version_len > 0) {
    DPTRC_INFO(tavriTf.load(), 0, "    %*.*s \n", static_cast<int>(version_len),
               static_cast<int>(version_len), version);
  }
  free(version);

  bInit = true;

  if (const char* env = getenv("SSF_HASH")) {
    TAVRI_TRC(3, "Set SSF_HASH from environment\n");
    RavAreSetProperty("SSF_HASH", env);
  }
  if (const char* env = getenv("SSF_INCLUDE_CERT")) {
    TAVRI_TRC(3, "Set SSF_INCLUDE_CERT from environment\n");
    RavAreSetProperty("SSF_INCLUDE_CERT", env);
  }
  return 0;
}

}  // namespace

SsfMutexGuard::SsfMutexGuard() : guard_(&ssf_rmtx) {
  if (!guard_.ok()) TAVRI_ERR("Mutex lock could not be applied!");
}

bool TavriEnsureThreadLayer() {
  if (bThrInit.load(std::memory_order_acquire)) return true;
  bool ok = true;
  {
    ThrPosixMutexGuard guard(&thr_init_mutex);
    ok = guard.ok();
    if (ok && !bThrInit.load(std::memory_order_relaxed)) {
      ThrSharedLibraryAware();
      if (ThrProcInit() != THR_ERR_OK) {
        ok = false;
      } else {
        rscpi_init(-1);
        ThrCSInit2(&LoadSection, "LoadSection");
        ThrCSInit2(&paramSetting, "paramSetting");
        ThrRecMtxInit(&ssf_rmtx, "QORRAVARE_SSF");
        bThrInit.store(true, std::memory_order_release);
      }
    }
  }
  if (!ok) TAVRI_TRC(2, "Thread Library could not be initialized.\n");
  return ok;
}

extern "C" {

QOR_API int32_t TavriGetVersion(void) { return QORJWT_VERSION; }

QOR_API int32_t TavriInitialize(const char* pzucsSsfLib) {
  if (!bInit.load()) {
    if (const char* trc = RavAreGetProperty("QOR_EXT_TRC")) {
      // A copy, because the value may be the stored name that setting replaces.
      char file[kTrcFileNameSize];
      snprintf(file, sizeof file, "%s", trc);
      RavAreSetProperty("QOR_EXT_TRL", RavAreGetProperty("QOR_EXT_TRL"));
      RavAreSetProperty("QOR_EXT_TRC", file);
    }
  }
  TAVRI_TRC(3, "TavriInitialize was called.\n");
  if (!TavriEnsureThreadLayer()) return kRcInvalid;

  const int32_t rc = TavriNoThrow(TRC_MODULE, "TavriInitialize", kRcInvalid, kRcInvalid, [&]() -> int32_t {
    ThrCSGuard guard(&LoadSection);
    if (!guard.ok()) return kRcInvalid;
    return bInit.load() ? kRcOk : initialize_once(pzucsSsfLib);
  });
  TAVRI_TRC(3, "Leave function TavriInitialize with rc = %d.\n", rc);
  return rc;
}

QOR_API int32_t TavriShutdown(void) {
  if (!TavriEnsureThreadLayer()) return kRcInternal;
  SsfMutexGuard guard;
  if (!guard.ok()) return kRcInternal;
  if (tavriTf.load() != nullptr) {
    // paramSetting before the trace lock, as everywhere.
    ThrCSGuard param(&paramSetting);
    if (!param.ok()) return kRcInternal;
    DpLockGuard trace;
    if (!trace.ok() || !set_trace_file(nullptr)) return kRcInternal;
    tf = nullptr;
  }
  TavriReleaseLoadedKey();
  TavriDropJwkSet();
  TavriPublishKey();
  if (bInit.load()) {
    JwtShutdown();
    SsfSupEnd(&s_SsfLib);
    if (!s_SsfLib.bSsfDll) bInit = false;
  }
  return kRcOk;
}

QOR_API int32_t RavAreSetProperty(const char* pName, const char* pValue) {
  if (!TavriEnsureThreadLayer()) return kRcInvalid;
  if (pName == nullptr) {
    TAVRI_ERR("RavAreSetProperty: Null for property name is invalid\n");
    return kRcInvalid;
  }
  TAVRI_TRC(3, "RavAreSetProperty(%s,%s)\n", pName, is_blank(pValue) ? "null" : pValue);
  const int32_t rc = TavriNoThrow(TRC_MODULE, "RavAreSetProperty", kRcInvalid, kRcInvalid, [&]() -> int32_t {
    ThrCSGuard guard(&paramSetting);
    if (!guard.ok()) return kRcInvalid;
    return set_property_locked(pName, pValue);
  });
  if (rc == kRcInvalid) return rc;
  if (rc == kPropertyUnknown) {
    TAVRI_ERR("RavAreSetProperty: Unknown property %s \n", pName);
    return kRcInvalid;
  }
  TAVRI_TRC(3, "Leave RavAreSetProperty\n");
  return 0;
}

QOR_API const char* RavAreGetProperty(const char* pName) {
  if (pName == nullptr) return kPropertyList;
  TAVRI_TRC(3, "RavAreGetProperty(%s)\n", pName);
  if (strcmp(pName, "QOR_EXT_TRC") == 0)
    return gzsTrcFile[0] ? gzsTrcFile : getenv("QOR_EXT_TRC");
  if (strcmp(pName, "QOR_EXT_TRL") == 0) return read_trace_level();
  if (const TextProperty* p = find_text_property(pName)) {
    // The environment speaks only while the stored value still starts
    // like the default.
    const char* env = getenv(p->env);
    if (env != nullptr && strncmp(p->value, p->deflt, strlen(p->deflt)) == 0) return env;
    return p->value;
  }
  if (strcmp(pName, "SSF_LIB") == 0) return getenv("SSF_LIB");
  if (strcmp(pName, "SSF_INCLUDE_CERT") == 0) return gIncludeCert;
  TAVRI_ERR("RavAreGetProperty: Unknown property %s \n", pName);
  return nullptr;
}

}  // extern "C"
