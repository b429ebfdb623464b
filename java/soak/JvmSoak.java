import Tavex.srv.hwGateK;

import java.io.IOException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.List;
import java.util.Random;

/**
 * Soak: a million calls through the Java class on the simulated port device,
 * under virtual time and with faults armed by the environment, mixing every
 * method, failing ports, closed-device transfers and Q7460 reads. Resident
 * memory and the number of open descriptors after the run must equal those
 * after the warm-up: nothing may grow per call. Prints its figures on
 * standard error (standard output carries the library's messages).
 *
 * Usage: JvmSoak CALLS
 */
public final class JvmSoak {
  private static final int WARM_UP = 100_000;
  // The JVM's own heap and code cache settle within this much; a leak of a
  // single byte per call would show as about a megabyte.
  private static final long RSS_SLACK_KB = 512;

  public static void main(String[] args) throws IOException {
    long calls = args.length > 0 ? Long.parseLong(args[0]) : 1_000_000;
    Random random = new Random(7460);
    long failures = 0;

    run(random, WARM_UP);
    System.gc();
    long rssWarm = residentKb();
    int fdsWarm = descriptors();

    long start = System.nanoTime();
    failures += run(random, calls);
    double seconds = (System.nanoTime() - start) / 1e9;
    hwGateK.ioClose();
    hwGateK.ioOpen();  // leave it as the warm-up left it: open
    System.gc();
    long rssEnd = residentKb();
    int fdsEnd = descriptors();

    System.err.printf("soak: %d calls in %.1f s (%d negative results), resident %d kB -> %d kB,"
        + " descriptors %d -> %d%n", calls, seconds, failures, rssWarm, rssEnd, fdsWarm, fdsEnd);
    boolean ok = fdsEnd == fdsWarm && rssEnd - rssWarm <= RSS_SLACK_KB;
    System.err.println(ok ? "soak: passed" : "soak: FAILED");
    System.exit(ok ? 0 : 1);
  }

  /** Runs `calls` calls and returns how many of them gave a negative result. */
  private static long run(Random random, long calls) {
    long negative = 0;
    hwGateK.ioOpen();
    for (long i = 0; i < calls; i++) {
      int result;
      int pick = random.nextInt(100);
      if (pick < 1) {
        result = hwGateK.ioClose();           // the next transfers meet a closed device
      } else if (pick < 6) {
        result = hwGateK.ioOpen();
      } else if (pick < 30) {
        result = hwGateK.ioReadPort(0x80 + random.nextInt(4));
      } else if (pick < 40) {
        result = hwGateK.ioReadPort(random.nextInt(), random.nextLong());  // any address at all
      } else if (pick < 65) {
        result = hwGateK.ioWritePort(0x80 + random.nextInt(4), (byte) random.nextInt());
      } else if (pick < 75) {
        result = hwGateK.ioWritePort(random.nextInt(), (byte) random.nextInt(), random.nextLong());
      } else {
        result = hwGateK.ioReadQ7460(0x300, random.nextInt());
      }
      if (result < 0) negative++;
    }
    return negative;
  }

  private static long residentKb() throws IOException {
    List<String> lines = Files.readAllLines(Paths.get("/proc/self/status"));
    for (String line : lines) {
      if (line.startsWith("VmRSS:")) return Long.parseLong(line.replaceAll("[^0-9]", ""));
    }
    throw new IOException("no VmRSS in /proc/self/status");
  }

  private static int descriptors() throws IOException {
    int count = 0;
    try (DirectoryStream<Path> entries = Files.newDirectoryStream(Paths.get("/proc/self/fd"))) {
      for (Path ignored : entries) count++;
    }
    return count;
  }
}
