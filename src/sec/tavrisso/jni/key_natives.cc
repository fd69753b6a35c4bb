// Java natives for key loading and certificate parsing.
#ifdef QOR_WITH_JNI
#include <stdint.h>

#include "qorjwt.h"
#include "sec/tavrisso/jni/convert.h"
#include "sec/tavrisso/trace.h"
#include "sec/tavrisso/jni/natives.h"

namespace {

// Attribute names by the id Java callers pass.
constexpr const char* aCertAttributs[] = {"SUBJECT",  "ISSUER",      "SERIALNO", "SUMMARY", "SERIAL",
                                          "VALIDITY", "FINGERPRINT", "ALGID",    "ALL"};
constexpr int iCertAttributes = sizeof(aCertAttributs) / sizeof(aCertAttributs[0]);
// The parser gets one byte less than the buffer, so the text stays terminated.
constexpr size_t kAttributeBufferSize = 16384;

}  // namespace

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_tavri_sso_VID2Ozuved_loadKey(JNIEnv* env, jclass, jbyteArray keyfile,
                                                                 jstring key_password, jint jindex,
                                                                 jint jtype) {
  TAVRI_TRC(3, "JAVA: loadKey was called\n");
  int32_t rc = kRcNullArgument;
  {
    jnihelp::Bytes key(env, keyfile);
    jnihelp::Utf password(env, key_password);
    if (!key.failed() && !password.failed()) {
      rc = TavriLoadTicketKey(key.get(), key.length(), password.get(), jindex, jtype);
    }
  }
  TAVRI_TRC(3, "JAVA: End of loadKey\n");
  return rc == 0 ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jstring JNICALL Java_com_tavri_sso_VID2Ozuved_parseCertificate(JNIEnv* env, jclass, jbyteArray cert,
                                                                         jint info_id) {
  if (cert == nullptr) return nullptr;
  TAVRI_TRC(3, "JAVA: parseCertificate was called\n");
  jstring result = nullptr;
  if (info_id < 0 || info_id >= iCertAttributes) {
    jnihelp::Throw(env, jnihelp::kMessageSize, "Invalid info request id passed: ID= %d", info_id);
  } else {
    char text[kAttributeBufferSize] = {};
    int32_t len = kAttributeBufferSize - 1;
    int32_t rc = kRcOk;
    {
      jnihelp::Bytes der(env, cert);
      if (der.failed()) {
        TAVRI_TRC(3, "JAVA: End of parseCertificate\n");
        return nullptr;
      }
      rc = TavriParseCertificate(der.get(), der.length(), aCertAttributs[info_id],
                                 reinterpret_cast<unsigned char*>(text), &len);
    }
    if (rc != 0) {
      jnihelp::ThrowFailed(env, "TavriParseCertificate", rc);
    } else {
      result = jnihelp::NewString(env, text);
    }
  }
  TAVRI_TRC(3, "JAVA: End of parseCertificate\n");
  return result;
}

}  // extern "C"
#endif  // QOR_WITH_JNI
