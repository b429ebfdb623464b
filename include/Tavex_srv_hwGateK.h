/* Entry points of the Java class Tavex.srv.hwGateK, in the form javac -h
 * writes them. One difference from javac's output is deliberate:
 * ioReadQ7460 is declared (and so exported) under its long name
 * Java_Tavex_srv_hwGateK_ioReadQ7460__II only. A JVM looks a native method
 * up by its short name first and by its long name next, so it binds either. */
#include <jni.h>
/* Header for class Tavex_srv_hwGateK */

#ifndef _Included_Tavex_srv_hwGateK
#define _Included_Tavex_srv_hwGateK
#ifdef __cplusplus
extern "C" {
#endif
/*
 * Class:     Tavex_srv_hwGateK
 * Method:    ioOpen
 * Signature: ()I
 */
JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioOpen
  (JNIEnv *, jclass);

/*
 * Class:     Tavex_srv_hwGateK
 * Method:    ioClose
 * Signature: ()I
 */
JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioClose
  (JNIEnv *, jclass);

/*
 * Class:     Tavex_srv_hwGateK
 * Method:    ioReadPort
 * Signature: (I)I
 */
JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioReadPort__I
  (JNIEnv *, jclass, jint);

/*
 * Class:     Tavex_srv_hwGateK
 * Method:    ioReadPort
 * Signature: (IJ)I
 */
JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioReadPort__IJ
  (JNIEnv *, jclass, jint, jlong);

/*
 * Class:     Tavex_srv_hwGateK
 * Method:    ioWritePort
 * Signature: (IB)I
 */
JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioWritePort__IB
  (JNIEnv *, jclass, jint, jbyte);

/*
 * Class:     Tavex_srv_hwGateK
 * Method:    ioWritePort
 * Signature: (IBJ)I
 */
JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioWritePort__IBJ
  (JNIEnv *, jclass, jint, jbyte, jlong);

/*
 * Class:     Tavex_srv_hwGateK
 * Method:    ioReadQ7460
 * Signature: (II)I
 */
JNIEXPORT jint JNICALL Java_Tavex_srv_hwGateK_ioReadQ7460__II
  (JNIEnv *, jclass, jint, jint);

#ifdef __cplusplus
}
#endif
#endif
