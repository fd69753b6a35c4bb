// Java native for assertion ticket creation.
#ifdef QOR_WITH_JNI
#include <stdint.h>
#include <string.h>

#include "qorjwt.h"
#include "sec/tavrisso/jni/convert.h"
#include "sec/tavrisso/trace.h"
#include "sec/tavrisso/jni/natives.h"

using jnihelp::kMessageSize;

namespace {
constexpr size_t kTicketTextSize = 4096;
constexpr char kUtf8Codepage[] = "4110";

// Points a TICKET_INFO text field and its length at a Java string's
// characters; *len holds the length for as long as the record is used.
void point_at(const jnihelp::Utf& s, int32_t* len, char** field, int32_t** field_len) {
  *len = s.length();
  *field = const_cast<char*>(s.get());
  *field_len = len;
}
}  // namespace

extern "C" {

JNIEXPORT jstring JNICALL Java_com_tavri_sso_VID2Ozuved_createAssertionTicket(
    JNIEnv* env, jclass, jstring jmy_sysid, jstring jmy_client, jstring jpab, jstring jpab_password,
    jstring jex_sysid, jstring jex_client, jstring juser, jstring jlang, jstring jportal_user,
    jstring jauth_schema) {
  TAVRI_TRC(3, "JAVA: createAssertionTicket was called\n");
  jstring result = nullptr;
  const char* missing = jmy_sysid == nullptr    ? "Local system Id not set"
                        : jmy_client == nullptr ? "Local system client not set"
                        : jex_sysid == nullptr  ? "Recipient system Id not set"
                        : jex_client == nullptr ? "Recipient system client not set"
                        : juser == nullptr && jportal_user == nullptr
                            ? "Neither a QOR user nor a Portal user is set"
                            : nullptr;
  if (missing != nullptr) {
    jnihelp::Throw(env, kMessageSize, "%s", missing);
    TAVRI_TRC(3, "JAVA: End of createAssertionTicket\n");
    return nullptr;
  }
  jnihelp::Utf my_sysid(env, jmy_sysid);
  jnihelp::Utf my_client(env, jmy_client);
  jnihelp::Utf pab(env, jpab);
  jnihelp::Utf password(env, jpab_password);
  jnihelp::Utf ex_sysid(env, jex_sysid);
  jnihelp::Utf ex_client(env, jex_client);
  jnihelp::Utf user(env, juser);
  jnihelp::Utf lang(env, jlang);
  jnihelp::Utf portal_user(env, jportal_user);
  jnihelp::Utf auth_schema(env, jauth_schema);
  if (!(my_sysid.failed() || my_client.failed() || pab.failed() || password.failed() || ex_sysid.failed() ||
        ex_client.failed() || user.failed() || lang.failed() || portal_user.failed() || auth_schema.failed())) {
    int32_t sysidL = 0, clientL = 0, userL = 0, langL = 0, portalL = 0, schemeL = 0;
    TICKET_INFO info;
    memset(&info, 0, sizeof(info));
    info.struct_size = sizeof(TICKET_INFO);
    memcpy(info.sQORCodepage, kUtf8Codepage, sizeof(info.sQORCodepage));
    point_at(ex_sysid, &sysidL, &info.pSysID, &info.pIntSysIDL);
    point_at(ex_client, &clientL, &info.pQORClient, &info.pIntQORClientL);
    point_at(user, &userL, &info.pQORUser, &info.pIntQORUserL);
    point_at(lang, &langL, &info.pQORLangu, &info.pIntQORLanguL);
    point_at(portal_user, &portalL, &info.pPrtUser, &info.pIntPrtUserL);
    point_at(auth_schema, &schemeL, &info.pAuthScheme, &info.pIntAuthSchemeL);
    char text[kTicketTextSize + 1] = {};
    uint32_t textL = kTicketTextSize;
    int32_t rc = TavriCreateAssertionTicket(my_sysid.get(), my_client.get(), pab.get(), password.get(), &info,
                                            text, &textL);
    if (rc != 0) {
      jnihelp::ThrowFailed(env, "TavriCreateAssertionTicket", rc);
    } else {
      text[textL < kTicketTextSize ? textL : kTicketTextSize] = '\0';
      result = jnihelp::NewString(env, text);
    }
  }
  TAVRI_TRC(3, "JAVA: End of createAssertionTicket\n");
  return result;
}

}  // extern "C"
#endif  // QOR_WITH_JNI
