import Tavex.srv.hwGateK;

import java.util.Arrays;

/**
 * The JVM side of figure c: one port read through the Java class, in
 * nanoseconds per call, on the simulated port device under virtual time (so
 * no pause takes any time). Prints the median and spread over repetitions as
 * one line, "jvm-port-read median_ns=... stddev_ns=...", for scripts/bench.sh.
 */
public final class JvmPortRead {
  private static final int CALLS = 200_000;
  private static final int REPETITIONS = 15;

  public static void main(String[] args) {
    if (hwGateK.ioOpen() != 0) throw new IllegalStateException("ioOpen failed");
    int sink = 0;
    for (int i = 0; i < 3 * CALLS; i++) sink += hwGateK.ioReadPort(0x80);  // warm-up: JIT
    double[] nanos = new double[REPETITIONS];
    for (int r = 0; r < REPETITIONS; r++) {
      long start = System.nanoTime();
      for (int i = 0; i < CALLS; i++) sink += hwGateK.ioReadPort(0x80);
      nanos[r] = (System.nanoTime() - start) / (double) CALLS;
    }
    hwGateK.ioClose();
    if (sink == 42) System.out.println();  // keeps the loop's result alive

    double[] sorted = nanos.clone();
    Arrays.sort(sorted);
    double mean = Arrays.stream(nanos).average().orElse(0);
    double variance = Arrays.stream(nanos).map(x -> (x - mean) * (x - mean)).sum() / (REPETITIONS - 1);
    System.out.printf("jvm-port-read median_ns=%.1f stddev_ns=%.1f%n", sorted[REPETITIONS / 2], Math.sqrt(variance));
  }
}
