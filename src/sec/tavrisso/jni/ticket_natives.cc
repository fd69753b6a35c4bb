// Java natives for ticket evaluation.
#ifdef QOR_WITH_JNI
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "qorjwt.h"
#include "sec/tavrisso/jni/convert.h"
#include "sec/tavrisso/trace.h"
#include "sec/tavrisso/jni/natives.h"

using jnihelp::kMessageSize;

namespace {

constexpr size_t kTextSize = 128;
constexpr size_t kCertSize = 8192;
constexpr size_t kNumberSize = 16;
constexpr jsize kResultCount = 8;
constexpr char kUtf8Codepage[] = "4110";

// Caller buffers of one evaluation, every text asked for in UTF-8. The
// record points into the object itself, so it stays where it was made.
struct TicketOutputs {
  char user[kTextSize] = {};
  char sysid[kTextSize] = {};
  char client[kTextSize] = {};
  char portal[kTextSize] = {};
  char scheme[kTextSize] = {};
  int32_t userL = kTextSize;
  int32_t sysidL = kTextSize;
  int32_t clientL = kTextSize;
  int32_t portalL = kTextSize;
  int32_t schemeL = kTextSize;
  time_t validity = 0;
  unsigned char cert[kCertSize] = {};
  TICKET_INFO info;

  TicketOutputs() {
    memset(&info, 0, sizeof(info));
    info.struct_size = sizeof(TICKET_INFO);
    memcpy(info.sQORCodepage, kUtf8Codepage, sizeof(info.sQORCodepage));
    info.pSysID = sysid;
    info.pIntSysIDL = &sysidL;
    info.pQORUser = user;
    info.pIntQORUserL = &userL;
    info.pQORClient = client;
    info.pIntQORClientL = &clientL;
    info.ptmValidity = &validity;
    info.pPrtUser = portal;
    info.pIntPrtUserL = &portalL;
    info.pAuthScheme = scheme;
    info.pIntAuthSchemeL = &schemeL;
  }
  TicketOutputs(const TicketOutputs&) = delete;
  TicketOutputs& operator=(const TicketOutputs&) = delete;
};

// A returned length, kept inside its buffer.
size_t Clamp(long long len, size_t size) {
  if (len < 0) return 0;
  return static_cast<size_t>(len) < size ? static_cast<size_t>(len) : size;
}

jstring Number(JNIEnv* env, int value) {
  char text[kNumberSize];
  snprintf(text, sizeof(text), "%d", value);
  return env->NewStringUTF(text);
}

// What `call` returned: on success user, system, client, certificate, portal
// user, scheme, validity, type; on failure null with the exception raised.
// Empty texts stay empty elements: an assertion ticket may carry only a
// portal user, and refusing an empty user would refuse it.
jobjectArray TicketResult(JNIEnv* env, const char* call, int32_t rc, const TicketOutputs& out, long long certL) {
  if (rc != 0) {
    jnihelp::ThrowFailed(env, call, rc);
    return nullptr;
  }
  jobjectArray a = jnihelp::NewObjects(env, kResultCount);
  if (a == nullptr) return nullptr;
  using jnihelp::NewString;
  using jnihelp::SetElement;
  bool ok = SetElement(env, a, 0, NewString(env, out.user, Clamp(out.userL, kTextSize))) &&
            SetElement(env, a, 1, NewString(env, out.sysid, Clamp(out.sysidL, kTextSize))) &&
            SetElement(env, a, 2, NewString(env, out.client, Clamp(out.clientL, kTextSize))) &&
            SetElement(env, a, 3, jnihelp::NewBytes(env, out.cert, Clamp(certL, kCertSize))) &&
            SetElement(env, a, 4, NewString(env, out.portal, Clamp(out.portalL, kTextSize))) &&
            SetElement(env, a, 5, NewString(env, out.scheme, Clamp(out.schemeL, kTextSize))) &&
            SetElement(env, a, 6, Number(env, static_cast<int32_t>(out.validity))) &&
            SetElement(env, a, 7, Number(env, out.info.tTicketType));
  if (!ok) {
    env->DeleteLocalRef(a);
    return nullptr;
  }
  return a;
}

}  // namespace

extern "C" {

JNIEXPORT jobjectArray JNICALL Java_com_tavri_sso_VID2Ozuved_evalLogonTicket(JNIEnv* env, jclass,
                                                                             jstring jticket, jstring jpab,
                                                                             jstring jpab_password) {
  TAVRI_TRC(3, "JAVA: evalLogonTicket was called.\n");
  jobjectArray result = nullptr;
  jnihelp::Utf ticket(env, jticket);
  jnihelp::Utf pab(env, jpab);
  jnihelp::Utf password(env, jpab_password);
  if (ticket.failed() || pab.failed() || password.failed()) {
    // the JVM's OutOfMemoryError is pending
  } else if (ticket.get() == nullptr) {
    jnihelp::Throw(env, kMessageSize, "At least one NULL parameter passed. ticket=%p,PAB=%p",
                   static_cast<const void*>(ticket.get()), static_cast<const void*>(pab.get()));
  } else {
    TicketOutputs out;
    int32_t certL = kCertSize;
    int32_t rc = TavriEvalLogonTicketEx(ticket.get(), pab.get(), password.get(), out.cert, &certL, &out.info);
    result = TicketResult(env, "TavriEvalLogonTicketEx", rc, out, certL);
  }
  TAVRI_TRC(3, "JAVA: End of evalLogonTicket\n");
  return result;
}

JNIEXPORT jobjectArray JNICALL Java_com_tavri_sso_VID2Ozuved_evalAssertionTicket(
    JNIEnv* env, jclass, jstring jticket, jstring jpab, jstring jpab_password, jstring jmy_sysid,
    jstring jmy_client) {
  TAVRI_TRC(3, "JAVA: evalAssertionTicket was called.\n");
  jobjectArray result = nullptr;
  if (jmy_sysid == nullptr) {
    jnihelp::Throw(env, kMessageSize, "No SysId set");
  } else if (jmy_client == nullptr) {
    jnihelp::Throw(env, kMessageSize, "No Client set");
  } else {
    jnihelp::Utf ticket(env, jticket);
    jnihelp::Utf pab(env, jpab);
    jnihelp::Utf password(env, jpab_password);
    jnihelp::Utf sysid(env, jmy_sysid);
    jnihelp::Utf client(env, jmy_client);
    if (ticket.failed() || pab.failed() || password.failed() || sysid.failed() || client.failed()) {
      // the JVM's OutOfMemoryError is pending
    } else if (ticket.get() == nullptr) {
      jnihelp::Throw(env, kMessageSize, "At least one NULL parameter passed. ticket=%p",
                     static_cast<const void*>(ticket.get()));
    } else {
      TicketOutputs out;
      uint32_t certL = kCertSize;
      out.info.pAsn1Certificate = out.cert;
      out.info.pIntAsn1CertificateL = &certL;
      int32_t rc = TavriEvalAssertionTicket(ticket.get(), pab.get(), password.get(), sysid.get(), client.get(),
                                            &out.info);
      result = TicketResult(env, "TavriEvalAssertionTicket", rc, out, certL);
    }
  }
  // Both ticket methods end with the same trace line.
  TAVRI_TRC(3, "JAVA: End of evalLogonTicket\n");
  return result;
}

}  // extern "C"
#endif  // QOR_WITH_JNI
