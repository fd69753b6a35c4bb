// The natives of the default-package class VID2Ozuved: each forwards to
// the method of the same name in com.tavri.sso.VID2Ozuved.
#ifdef QOR_WITH_JNI
#include "sec/tavrisso/jni/natives.h"

extern "C" {

JNIEXPORT jboolean JNICALL Java_VID2Ozuved_init(JNIEnv* env, jclass cls, jstring jseclib) {
  return Java_com_tavri_sso_VID2Ozuved_init(env, cls, jseclib);
}

JNIEXPORT jstring JNICALL Java_VID2Ozuved_getVersion(JNIEnv* env, jclass cls) {
  return Java_com_tavri_sso_VID2Ozuved_getVersion(env, cls);
}

JNIEXPORT jstring JNICALL Java_VID2Ozuved_getProperty(JNIEnv* env, jclass cls, jstring jproperty) {
  return Java_com_tavri_sso_VID2Ozuved_getProperty(env, cls, jproperty);
}

JNIEXPORT jboolean JNICALL Java_VID2Ozuved_setProperty(JNIEnv* env, jclass cls, jstring jproperty,
                                                       jstring jvalue) {
  return Java_com_tavri_sso_VID2Ozuved_setProperty(env, cls, jproperty, jvalue);
}

JNIEXPORT jboolean JNICALL Java_VID2Ozuved_loadKey(JNIEnv* env, jclass cls, jbyteArray keyfile,
                                                   jstring key_password, jint jindex, jint jtype) {
  return Java_com_tavri_sso_VID2Ozuved_loadKey(env, cls, keyfile, key_password, jindex, jtype);
}

JNIEXPORT jstring JNICALL Java_VID2Ozuved_parseCertificate(JNIEnv* env, jclass cls, jbyteArray cert,
                                                           jint info_id) {
  return Java_com_tavri_sso_VID2Ozuved_parseCertificate(env, cls, cert, info_id);
}

JNIEXPORT jobjectArray JNICALL Java_VID2Ozuved_evalLogonTicket(JNIEnv* env, jclass cls, jstring jticket,
                                                                jstring jpab, jstring jpab_password) {
  return Java_com_tavri_sso_VID2Ozuved_evalLogonTicket(env, cls, jticket, jpab, jpab_password);
}

JNIEXPORT jobjectArray JNICALL Java_VID2Ozuved_evalAssertionTicket(JNIEnv* env, jclass cls, jstring jticket,
                                                                    jstring jpab, jstring jpab_password,
                                                                    jstring jmy_sysid, jstring jmy_client) {
  return Java_com_tavri_sso_VID2Ozuved_evalAssertionTicket(env, cls, jticket, jpab, jpab_password, jmy_sysid,
                                                           jmy_client);
}

JNIEXPORT jobjectArray JNICALL Java_VID2Ozuved_evalJWToken(JNIEnv* env, jclass cls, jstring jticket,
                                                            jstring juser) {
  return Java_com_tavri_sso_VID2Ozuved_evalJWToken(env, cls, jticket, juser);
}

JNIEXPORT jstring JNICALL Java_VID2Ozuved_createAssertionTicket(JNIEnv* env, jclass cls, jstring jmy_sysid,
                                                                jstring jmy_client, jstring jpab,
                                                                jstring jpab_password, jstring jex_sysid,
                                                                jstring jex_client, jstring juser, jstring jlang,
                                                                jstring jportal_user, jstring jauth_schema) {
  return Java_com_tavri_sso_VID2Ozuved_createAssertionTicket(env, cls, jmy_sysid, jmy_client, jpab, jpab_password,
                                                             jex_sysid, jex_client, juser, jlang, jportal_user,
                                                             jauth_schema);
}

}  // extern "C"
#endif  // QOR_WITH_JNI
