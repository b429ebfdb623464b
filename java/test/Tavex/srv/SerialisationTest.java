package Tavex.srv;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.jupiter.api.Test;

/**
 * A Q7460 reading is eleven transfers on one shared descriptor with one file
 * position; only the class monitor keeps concurrent readers apart. Several
 * threads each read their own channel many times, in real time so that the
 * library's pauses let the threads overlap. With the real class every reading
 * is the thread's own channel's; with a test-only twin whose natives are not
 * synchronized the readings get mixed, which shows that this test can fail.
 */
class SerialisationTest {

    static final int READS = 40;
    // One distinct value per thread's channel, none of them -1.
    static final String[] MILLIVOLTS = {"1000", "-2000", "3000", "-4000"};

    private static int[] run(String classPath) throws Exception {
        ChildJvm jvm = new ChildJvm()
                .sim("TIME", "real")
                .sim("Q7460_MV", String.join(",", MILLIVOLTS))
                .option("-Dhwgatek.library.path=" + ChildJvm.built("library"));
        String[] args = new String[MILLIVOLTS.length + 1];
        args[0] = String.valueOf(READS);
        System.arraycopy(MILLIVOLTS, 0, args, 1, MILLIVOLTS.length);
        ChildJvm.Result result = jvm.runClass(classPath, "Tavex.srv.ConcurrentReads", args);
        assertEquals(0, result.exit, result::toString);
        Matcher counts = Pattern.compile("good=(\\d+) mixed=(\\d+)").matcher(result.err);
        assertTrue(counts.find(), result::toString);
        return new int[] {Integer.parseInt(counts.group(1)), Integer.parseInt(counts.group(2))};
    }

    @Test
    void synchronizedNativesGiveEveryThreadItsOwnChannel() throws Exception {
        int[] counts = run(ChildJvm.built("testsJar") + ":" + ChildJvm.built("jar"));
        assertEquals(READS * MILLIVOLTS.length, counts[0], "readings of the thread's own channel");
        assertEquals(0, counts[1], "mixed readings");
    }

    @Test
    void unsynchronizedNativesMixTheReadings() throws Exception {
        // The twin comes first on the class path, so it shadows the real class.
        int[] counts = run(ChildJvm.built("unsyncJar") + ":" + ChildJvm.built("testsJar") + ":"
                + ChildJvm.built("jar"));
        assertTrue(counts[1] > 0, "no mixed reading out of " + counts[0]);
    }
}
