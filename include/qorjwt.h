/* Public C interface of libqorjwt.so: single sign-on ticket and JSON Web
 * Token evaluation. Every function returns a signed 32-bit result code
 * (0 = success) unless stated otherwise. */
#ifndef QORJWT_H
#define QORJWT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define QOR_API __attribute__((visibility("default")))
#else
#define QOR_API
#endif

/* Interface version reported by TavriGetVersion. */
#define QORJWT_VERSION 1

/* Sets up the library. pzucsSsfLib names the crypto library for messages;
 * null or empty selects the environment variable SSF_LIB or the default.
 * Returns 0 (also when already initialised), 9 or 14. */
QOR_API int32_t TavriInitialize(const char* pzucsSsfLib);

/* Releases the crypto binding, the in-memory key store and the trace file.
 * May be called at any time. Returns 0, or 14 if the SSF mutex cannot be taken. */
QOR_API int32_t TavriShutdown(void);

/* The interface version, QORJWT_VERSION. */
QOR_API int32_t TavriGetVersion(void);

/* Sets one of the ten properties; a null value restores most defaults.
 * Returns 0, or 9 for a null or unknown name. */
QOR_API int32_t RavAreSetProperty(const char* pName, const char* pValue);

/* Current value of a property (library storage, the environment or a
 * constant; valid until the property is set again), null for an unknown
 * name or an unset value. A null name returns the semicolon-separated
 * list of all property names. */
QOR_API const char* RavAreGetProperty(const char* pName);

#ifdef __cplusplus
}
#endif

#endif /* QORJWT_H */
