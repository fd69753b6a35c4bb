// Argument and result conversions shared by the Java natives.
#ifdef QOR_WITH_JNI
#include "sec/tavrisso/jni/convert.h"

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <new>
#include <string>

#include "base/bytes/reader.h"

namespace jnihelp {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence (RFC 3629 section 3); a malformed one consumes
// its first byte and yields U+FFFD. The JVM's own forms, a two-byte U+0000
// and three-byte surrogates, are accepted too, so modified UTF-8 passes
// through unchanged.
uint32_t NextCodePoint(ByteReader* in) {
  uint8_t b0 = 0;
  in->get_u8(&b0);
  int more;
  uint32_t cp;
  uint32_t min;
  if (b0 < 0x80) return b0;
  if ((b0 & 0xE0) == 0xC0) {
    more = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    more = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    more = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return kReplacement;
  }
  ByteReader look = *in;
  for (int i = 0; i < more; ++i) {
    uint8_t b = 0;
    if (!look.get_u8(&b) || (b & 0xC0) != 0x80) return kReplacement;
    cp = (cp << 6) | (b & 0x3F);
  }
  bool modified_nul = more == 1 && cp == 0;
  if ((cp < min && !modified_nul) || cp > 0x10FFFF) return kReplacement;
  *in = look;
  return cp;
}

// Appends one UTF-16 unit in the JVM's modified UTF-8: U+0000 as two bytes,
// everything else up to U+FFFF in the usual one to three bytes.
void AppendUnit(std::string* out, uint32_t u) {
  if (u != 0 && u < 0x80) {
    out->push_back(static_cast<char>(u));
  } else if (u < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (u >> 6)));
    out->push_back(static_cast<char>(0x80 | (u & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xE0 | (u >> 12)));
    out->push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (u & 0x3F)));
  }
}

void ThrowClass(JNIEnv* env, const char* cls, const char* msg) {
  jclass c = env->FindClass(cls);
  if (c == nullptr) return;  // NoClassDefFoundError is pending instead
  env->ThrowNew(c, msg);
  env->DeleteLocalRef(c);
}

}  // namespace

// After one conversion failed the JVM has an exception pending, and the
// later ones must not call it again.
Utf::Utf(JNIEnv* env, jstring s)
    : env_(env), s_(s),
      p_(s != nullptr && !env->ExceptionCheck() ? env->GetStringUTFChars(s, nullptr) : nullptr) {}

Utf::~Utf() {
  if (p_ != nullptr) env_->ReleaseStringUTFChars(s_, p_);
}

jsize Utf::length() const { return s_ != nullptr ? env_->GetStringUTFLength(s_) : 0; }

Bytes::Bytes(JNIEnv* env, jbyteArray a)
    : env_(env), a_(a),
      p_(a != nullptr && !env->ExceptionCheck() ? env->GetByteArrayElements(a, nullptr) : nullptr),
      n_(p_ != nullptr ? env->GetArrayLength(a) : 0) {}

Bytes::~Bytes() {
  if (p_ != nullptr) env_->ReleaseByteArrayElements(a_, p_, JNI_ABORT);
}

void Throw(JNIEnv* env, size_t size, const char* fmt, ...) {
  char msg[kJwtMessageSize];
  if (size > sizeof(msg)) size = sizeof(msg);
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(msg, size, fmt, ap);
  va_end(ap);
  ThrowClass(env, "java/lang/Exception", msg);
}

void ThrowFailed(JNIEnv* env, const char* call, int32_t rc) {
  const TavriResultParts parts = TavriSplitResult(rc);
  Throw(env, kMessageSize, "%s failed: standard error= %d, ssf error= %d", call, parts.standard, parts.ssf);
}

jstring NewString(JNIEnv* env, const char* utf8, size_t len) {
  try {
    std::string m;
    m.reserve(len + 1);
    ByteReader in(utf8, len);
    while (!in.empty()) {
      uint32_t cp = NextCodePoint(&in);
      if (cp < 0x10000) {
        AppendUnit(&m, cp);
      } else {
        cp -= 0x10000;
        AppendUnit(&m, 0xD800 | (cp >> 10));
        AppendUnit(&m, 0xDC00 | (cp & 0x3FF));
      }
    }
    return env->NewStringUTF(m.c_str());
  } catch (const std::bad_alloc&) {
    ThrowClass(env, "java/lang/OutOfMemoryError", "no memory for a result string");
    return nullptr;
  }
}

jstring NewString(JNIEnv* env, const char* utf8) { return NewString(env, utf8, strlen(utf8)); }

jbyteArray NewBytes(JNIEnv* env, const unsigned char* p, size_t len) {
  jbyteArray a = env->NewByteArray(static_cast<jsize>(len));
  if (a != nullptr && len > 0) {
    env->SetByteArrayRegion(a, 0, static_cast<jsize>(len), reinterpret_cast<const jbyte*>(p));
  }
  return a;
}

jobjectArray NewObjects(JNIEnv* env, jsize n) {
  jclass c = env->FindClass("java/lang/Object");
  if (c == nullptr) return nullptr;
  jobjectArray a = env->NewObjectArray(n, c, nullptr);
  env->DeleteLocalRef(c);
  return a;
}

bool SetElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
  if (value == nullptr) return false;
  env->SetObjectArrayElement(array, index, value);
  env->DeleteLocalRef(value);
  return true;
}

}  // namespace jnihelp
#endif  // QOR_WITH_JNI
