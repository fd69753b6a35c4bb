// The SSF function table through which the ticket code reaches the crypto
// library, and the support operations that fill and empty it.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef int32_t SSF_SUP_RC;

enum : SSF_SUP_RC {
  SSF_SUP_OK = 0,
  SSF_SUP_ALREADYLOADED = 1,
  SSF_SUP_NOTALLFUNCTIONS = 5,
  SSF_SUP_NOLIB = 10,
};

// Interface version handed to SsfSupInit3 by the library start.
constexpr int32_t kSsfSupVersion = 259;

struct SsfLib {
  int32_t dll_hdl;
  // Set while the table is filled.
  unsigned char bSsfDll;
};

typedef void (*SsfSupTrcFunc)(const char*);

SSF_SUP_RC SsfSupInit3(int32_t borrowed_dll_hdl, const char* ssflibname, SsfLib* ssflib,
                       SsfSupTrcFunc trc_func_error, SsfSupTrcFunc trc_func_success,
                       int32_t version);
void SsfSupEnd(SsfLib* ssflib);
int32_t DlLoadLib(const char* libname, int32_t* phandle);
int32_t DlUnloadLib(int32_t* phandle);
const char* SsfSupErrorName(SSF_SUP_RC rc);
// The toolkit's printable version in a fresh malloc'd buffer owned by the caller.
int32_t SsfSupToolkitVersionString(SsfLib* CurrentSsfLib, char** pp_StrVersion,
                                   size_t* pp_StrVersion_L);
