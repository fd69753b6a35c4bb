// Support operations of the SSF binding. The crypto services are not bound
// yet, so the table is marked filled with none of its operations present,
// which the library start accepts as "not all functions".
#include <stdlib.h>
#include <string.h>

#include "sec/tavrisso/ssflib.h"

SSF_SUP_RC SsfSupInit3(int32_t borrowed_dll_hdl, const char* /*ssflibname*/, SsfLib* ssflib,
                       SsfSupTrcFunc, SsfSupTrcFunc, int32_t /*version*/) {
  if (ssflib == nullptr) return SSF_SUP_ALREADYLOADED;
  ssflib->bSsfDll = 1;
  if (borrowed_dll_hdl != -1) ssflib->dll_hdl = -1;
  return SSF_SUP_NOTALLFUNCTIONS;
}

void SsfSupEnd(SsfLib* ssflib) {
  if (ssflib == nullptr || ssflib->bSsfDll != 1) return;
  ssflib->dll_hdl = -1;
  ssflib->bSsfDll = 0;
}

// The crypto library is linked into this object; nothing is loaded.
int32_t DlLoadLib(const char*, int32_t*) { return 0; }
int32_t DlUnloadLib(int32_t*) { return 0; }

const char* SsfSupErrorName(SSF_SUP_RC rc) {
  switch (rc) {
    case SSF_SUP_OK: return "SSF_SUP_OK";
    case SSF_SUP_ALREADYLOADED: return "SSF_SUP_ALREADYLOADED";
    case SSF_SUP_NOTALLFUNCTIONS: return "SSF_SUP_NOTALLFUNCTIONS";
    case SSF_SUP_NOLIB: return "SSF_SUP_NOLIB";
    default: return "<unknown SUP RC>";
  }
}

int32_t SsfSupToolkitVersionString(SsfLib* lib, char** pp_StrVersion, size_t* pp_StrVersion_L) {
  if (pp_StrVersion) *pp_StrVersion = nullptr;
  if (pp_StrVersion == nullptr || pp_StrVersion_L == nullptr) return 17;
  *pp_StrVersion_L = 0;
  if (lib == nullptr || lib->bSsfDll != 1) return 1;
  // No version service is bound yet: an empty answer.
  return 0;
}
