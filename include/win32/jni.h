/* The JNI types that hwGateK.dll's entry points use, for 32-bit Windows.
 * The build puts this directory first on the include path of the Windows
 * target only; the Linux targets take jni.h from the JDK.
 *
 * On 32-bit Windows a native method is a stdcall function (the callee
 * removes its arguments), exported under its decorated name
 * _Java_<class>_<method>@<argument bytes>. JNIEXPORT is empty on purpose:
 * the module definition file src/hwGateK.def alone decides what the DLL
 * exports and under which names; a dllexport here would add a second,
 * undecorated-prefix export for every entry point. */
#ifndef HWGATEK_WIN32_JNI_H
#define HWGATEK_WIN32_JNI_H

#define JNIEXPORT
#define JNICALL __stdcall

typedef int jint;         /* 32-bit signed */
typedef long long jlong;  /* 64-bit signed: two argument slots */
typedef signed char jbyte;

/* Opaque: the entry points never look at the environment or the receiver. */
struct JNIEnv_;
typedef struct JNIEnv_ JNIEnv;
typedef struct _jobject* jobject;
typedef jobject jclass;

#ifdef __cplusplus
static_assert(sizeof(jint) == 4 && sizeof(jlong) == 8 && sizeof(jbyte) == 1,
              "JNI type sizes on 32-bit Windows");
#endif

#endif
