// The crypto library operations this library provides, bound into the SSF
// table by name. A service that lands later is bound with one more line in
// ssf_bind_operations (its declaration is in crypto/ssf/ssfapi.h).
#include "sec/tavrisso/ssf/bind.h"

// Sets the operation pointer and raises its present flag.
#define SSF_BIND(op)            \
  do {                          \
    lib->fp_##op = &op;         \
    lib->b##op = 1;             \
  } while (0)

void ssf_bind_operations(SsfLib* lib) {
  SSF_BIND(SsfVersion);
  SSF_BIND(SsfDELSsfOctetstring);
  SSF_BIND(SsfNEWSigRcpSsfInfo);
  SSF_BIND(SsfINSSigRcpSsfInfo);
  SSF_BIND(SsfDELSigRcpSsfInfo);
  SSF_BIND(SsfDELSigRcpSsfInfoList);
  SSF_BIND(SsfOpenProfile);
  SSF_BIND(SsfCloseProfile);
  SSF_BIND(SsfCreateProfile);
  SSF_BIND(SsfRemoveProfile);
  SSF_BIND(SsfPutCertificate);
  SSF_BIND(SsfFreeCertificate);
  SSF_BIND(SsfCertfromASN1);
  SSF_BIND(SsfCerttoASN1);
  SSF_BIND(SsfParseCertificate);
  SSF_BIND(qor_create_memory_PSE);
  SSF_BIND(qor_delete_memory_PSE);
  SSF_BIND(qor_load_memory_PSE);
  SSF_BIND(qor_save_memory_PSE);
  SSF_BIND(SsfSecTKLastErrorInfo);
  SSF_BIND(SsfRcName);
  SSF_BIND(SsfRcDesc);
  SSF_BIND(qorcr_init);
  SSF_BIND(qorcr_done);
  SSF_BIND(qorcr_set_property_int);
  SSF_BIND(qorcr_get_property_int);
  SSF_BIND(qorcr_get_property_string);
  SSF_BIND(qorcr_get_version);
  SSF_BIND(qorzelb_decode_cert);
  SSF_BIND(SsfVerify);
  SSF_BIND(SsfVerifyEx);
  SSF_BIND(SsfEncode);
  SSF_BIND(SsfDecode);
  SSF_BIND(SsfSign);
  SSF_BIND(SsfSignEx);
}
