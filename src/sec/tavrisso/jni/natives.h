// Native methods of com.tavri.sso.VID2Ozuved, bound by the JVM through
// their exported names. The forwarders of the default-package class
// VID2Ozuved call these.
#pragma once

#ifdef QOR_WITH_JNI
#include <jni.h>

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_tavri_sso_VID2Ozuved_init(JNIEnv* env, jclass cls, jstring jseclib);
JNIEXPORT jstring JNICALL Java_com_tavri_sso_VID2Ozuved_getVersion(JNIEnv* env, jclass cls);
JNIEXPORT jobjectArray JNICALL Java_com_tavri_sso_VID2Ozuved_evalLogonTicket(
    JNIEnv* env, jclass cls, jstring jticket, jstring jpab, jstring jpab_password);
JNIEXPORT jobjectArray JNICALL Java_com_tavri_sso_VID2Ozuved_evalAssertionTicket(
    JNIEnv* env, jclass cls, jstring jticket, jstring jpab, jstring jpab_password, jstring jmy_sysid,
    jstring jmy_client);
JNIEXPORT jobjectArray JNICALL Java_com_tavri_sso_VID2Ozuved_evalJWToken(JNIEnv* env, jclass cls,
                                                                         jstring jticket, jstring juser);
JNIEXPORT jstring JNICALL Java_com_tavri_sso_VID2Ozuved_createAssertionTicket(
    JNIEnv* env, jclass cls, jstring jmy_sysid, jstring jmy_client, jstring jpab, jstring jpab_password,
    jstring jex_sysid, jstring jex_client, jstring juser, jstring jlang, jstring jportal_user,
    jstring jauth_schema);
JNIEXPORT jstring JNICALL Java_com_tavri_sso_VID2Ozuved_getProperty(JNIEnv* env, jclass cls,
                                                                    jstring jproperty);
JNIEXPORT jboolean JNICALL Java_com_tavri_sso_VID2Ozuved_setProperty(JNIEnv* env, jclass cls,
                                                                     jstring jproperty, jstring jvalue);
JNIEXPORT jboolean JNICALL Java_com_tavri_sso_VID2Ozuved_loadKey(JNIEnv* env, jclass cls,
                                                                 jbyteArray keyfile, jstring key_password,
                                                                 jint jindex, jint jtype);
JNIEXPORT jstring JNICALL Java_com_tavri_sso_VID2Ozuved_parseCertificate(JNIEnv* env, jclass cls,
                                                                         jbyteArray cert, jint info_id);

}  // extern "C"
#endif  // QOR_WITH_JNI
