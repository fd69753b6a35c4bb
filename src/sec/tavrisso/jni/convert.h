// Argument and result conversions shared by the Java natives. Only built
// when the JDK's jni.h is available (QOR_WITH_JNI).
#pragma once

#ifdef QOR_WITH_JNI
#include <jni.h>
#include <stddef.h>

#include "sec/tavrisso/results.h"

namespace jnihelp {

// Message buffer sizes of the exceptions the natives raise.
constexpr size_t kMessageSize = 128;
constexpr size_t kJwtMessageSize = 660;

// The modified UTF-8 form of a Java string while a native runs; a null
// string stays a null pointer. failed() means the JVM could not supply the
// characters and has an exception pending.
class Utf {
 public:
  Utf(JNIEnv* env, jstring s);
  ~Utf();
  Utf(const Utf&) = delete;
  Utf& operator=(const Utf&) = delete;
  const char* get() const { return p_; }
  bool failed() const { return s_ != nullptr && p_ == nullptr; }
  // Length in bytes of the modified UTF-8 form, 0 for a null string.
  jsize length() const;

 private:
  JNIEnv* env_;
  jstring s_;
  const char* p_;
};

// The elements of a byte array while a native runs, released without
// copy-back. A null array gives a null pointer and length 0.
class Bytes {
 public:
  Bytes(JNIEnv* env, jbyteArray a);
  ~Bytes();
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  const unsigned char* get() const { return reinterpret_cast<const unsigned char*>(p_); }
  jsize length() const { return n_; }
  bool failed() const { return a_ != nullptr && p_ == nullptr; }

 private:
  JNIEnv* env_;
  jbyteArray a_;
  jbyte* p_;
  jsize n_;
};

// Raises java.lang.Exception with a message formatted into `size` bytes.
void Throw(JNIEnv* env, size_t size, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// A Java string from `len` bytes of UTF-8. Four-byte sequences become
// surrogate pairs, zero bytes and malformed bytes are kept as U+0000 and
// U+FFFD, so the JVM only ever sees valid modified UTF-8. Null with an
// exception pending on failure.
jstring NewString(JNIEnv* env, const char* utf8, size_t len);
jstring NewString(JNIEnv* env, const char* utf8);

// A byte[] holding `len` bytes; null with an exception pending on failure.
jbyteArray NewBytes(JNIEnv* env, const unsigned char* p, size_t len);

// An Object[] of `n` null elements; null with an exception pending on failure.
jobjectArray NewObjects(JNIEnv* env, jsize n);

// Stores `value` at `index` and drops the local reference. False when
// `value` is null (its creation failed and an exception is pending).
bool SetElement(JNIEnv* env, jobjectArray array, jsize index, jobject value);

// Raises "<call> failed: standard error= %d, ssf error= %d" with the two
// halves of the C call's combined result.
void ThrowFailed(JNIEnv* env, const char* call, int32_t rc);

}  // namespace jnihelp
#endif  // QOR_WITH_JNI
