// Java native for JSON Web Token evaluation.
#ifdef QOR_WITH_JNI
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "qorjwt.h"
#include "sec/tavrisso/jni/convert.h"
#include "sec/tavrisso/trace.h"
#include "sec/tavrisso/jni/natives.h"

using jnihelp::kJwtMessageSize;

namespace {

constexpr jsize kResultCount = 2;
// A user value is returned only when it fits this buffer with its terminator.
constexpr size_t kUserValueSize = 128;

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};

}  // namespace

extern "C" {

JNIEXPORT jobjectArray JNICALL Java_com_tavri_sso_VID2Ozuved_evalJWToken(JNIEnv* env, jclass, jstring jticket,
                                                                         jstring juser) {
  TAVRI_TRC(3, "JAVA: evalJWToken was called.\n");
  jobjectArray result = nullptr;
  jnihelp::Utf token(env, jticket);
  jnihelp::Utf user(env, juser);
  if (token.failed() || user.failed()) {
    // the JVM's OutOfMemoryError is pending
  } else if (token.get() == nullptr) {
    jnihelp::Throw(env, kJwtMessageSize, "No JWT set. JWT pointer=%p", static_cast<const void*>(token.get()));
  } else {
    size_t tokenL = strlen(token.get());
    // The body is shorter than the token, so its JSON always fits.
    std::unique_ptr<char, FreeDeleter> payload(static_cast<char*>(calloc(tokenL + 1, 1)));
    if (payload == nullptr) {
      jnihelp::Throw(env, kJwtMessageSize, "No memory for Payload Buffer. JWT pointer=%p",
                     static_cast<const void*>(token.get()));
    } else {
      JWT_INFO info;
      memset(&info, 0, sizeof(info));
      info.struct_size = sizeof(JWT_INFO);
      info.pPayloadBuffer = reinterpret_cast<unsigned char*>(payload.get());
      info.lPayLoadBuffer = tokenL > 0 ? tokenL - 1 : 0;
      int32_t rc = TavriEvalJWToken(token.get(), tokenL, nullptr, 0, user.get(), &info);
      if (rc != 0) {
        jnihelp::Throw(env, kJwtMessageSize, "TavriEvalJWToken failed: standard error= %d, description= %.512s", rc,
                       info.lastError);
      } else if (info.pPayloadBuffer == nullptr || info.lPayLoadBuffer == 0) {
        jnihelp::Throw(env, kJwtMessageSize, "JWT contains no payload.");
      } else if (user.get() != nullptr && (info.pNameIdValue == nullptr || info.lNameIdValue == 0)) {
        jnihelp::Throw(env, kJwtMessageSize, "JWT contains no UserId.");
      } else {
        char value[kUserValueSize] = {};
        if (info.pNameIdValue != nullptr && info.lNameIdValue >= 1 && info.lNameIdValue < kUserValueSize) {
          memcpy(value, info.pNameIdValue, info.lNameIdValue);
        }
        result = jnihelp::NewObjects(env, kResultCount);
        if (result != nullptr &&
            !(jnihelp::SetElement(env, result, 0,
                                  jnihelp::NewString(env, reinterpret_cast<const char*>(info.pPayloadBuffer),
                                                     info.lPayLoadBuffer)) &&
              jnihelp::SetElement(env, result, 1, jnihelp::NewString(env, value)))) {
          env->DeleteLocalRef(result);
          result = nullptr;
        }
      }
    }
  }
  TAVRI_TRC(3, "JAVA: End of evalJWToken\n");
  return result;
}

}  // extern "C"
#endif  // QOR_WITH_JNI
