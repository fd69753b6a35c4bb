// Java natives for the library lifecycle and the properties.
#ifdef QOR_WITH_JNI
#include "sec/tavrisso/jni/natives.h"

#include <stdio.h>

#include "qorjwt.h"
#include "sec/tavrisso/jni/convert.h"
#include "sec/tavrisso/trace.h"

using jnihelp::kMessageSize;

namespace {
constexpr char kDefaultSsfLib[] = "libqorcrypto.so";
constexpr size_t kVersionTextSize = 32;
}  // namespace

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_tavri_sso_VID2Ozuved_init(JNIEnv* env, jclass, jstring jseclib) {
  TAVRI_TRC(3, "JAVA: init was called.\n");
  jboolean ok = JNI_FALSE;
  jnihelp::Utf seclib(env, jseclib);
  if (!seclib.failed()) {
    const char* name = jseclib != nullptr ? seclib.get() : RavAreGetProperty("SSF_LIB");
    int32_t rc = TavriInitialize(name);
    if (rc == kRcOk) {
      ok = JNI_TRUE;
    } else if (rc == kRcInternal && name != nullptr && name[0] != '\0') {
      jnihelp::Throw(env, kMessageSize, "Could not load SSF library %s. Check the property SSF_LIB", name);
    } else if (rc == kRcInternal) {
      jnihelp::Throw(env, kMessageSize, "Could not find and load the default library %s", kDefaultSsfLib);
    } else {
      jnihelp::Throw(env, kMessageSize, "TavriInitialize failed: rc= %d", rc);
    }
  }
  TAVRI_TRC(3, "JAVA: End of init \n");
  return ok;
}

JNIEXPORT jstring JNICALL Java_com_tavri_sso_VID2Ozuved_getVersion(JNIEnv* env, jclass) {
  char text[kVersionTextSize];
  snprintf(text, sizeof(text), "QORJWT %d", TavriGetVersion());
  return env->NewStringUTF(text);
}

JNIEXPORT jstring JNICALL Java_com_tavri_sso_VID2Ozuved_getProperty(JNIEnv* env, jclass, jstring jproperty) {
  TAVRI_TRC(3, "JAVA: getProperty was called.\n");
  jstring result = nullptr;
  jnihelp::Utf name(env, jproperty);
  if (!name.failed()) {
    const char* value = RavAreGetProperty(name.get());
    if (value != nullptr) result = jnihelp::NewString(env, value);
  }
  TAVRI_TRC(3, "JAVA: End of getProperty \n");
  return result;
}

JNIEXPORT jboolean JNICALL Java_com_tavri_sso_VID2Ozuved_setProperty(JNIEnv* env, jclass, jstring jproperty,
                                                                     jstring jvalue) {
  TAVRI_TRC(3, "JAVA: setProperty was called.\n");
  int32_t rc = kRcInvalid;
  {
    jnihelp::Utf name(env, jproperty);
    jnihelp::Utf value(env, jvalue);
    if (!name.failed() && !value.failed()) rc = RavAreSetProperty(name.get(), value.get());
  }
  TAVRI_TRC(3, "JAVA: End of setProperty (rc==%d)\n", rc);
  return rc == 0 ? JNI_TRUE : JNI_FALSE;
}

}  // extern "C"
#endif  // QOR_WITH_JNI
