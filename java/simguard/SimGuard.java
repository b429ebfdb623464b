import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;

/**
 * A Java agent (-javaagent:hwgatek-simguard.jar) that runs before a JVM's
 * main class and stops the JVM unless the port simulator's preload shim
 * (libhwgatek_sim) is mapped into it. Every JVM that the tests and the demo
 * start carries it, so that none of them can reach a real port device.
 */
public final class SimGuard {

    static final int REFUSED = 97;

    private SimGuard() {
    }

    public static void premain(String arguments) {
        String maps;
        try {
            maps = new String(Files.readAllBytes(Paths.get("/proc/self/maps")),
                    StandardCharsets.UTF_8);
        } catch (IOException e) {
            maps = "";
        }
        // Mapped, and preloaded: only a preloaded shim comes before the C
        // library in the lookup that libhwGateK binds through.
        String preload = System.getenv("LD_PRELOAD");
        if (!maps.contains("/libhwgatek_sim") || preload == null
                || !preload.contains("libhwgatek_sim")) {
            System.err.println("simguard: refusing to run: the port simulator (libhwgatek_sim.so)"
                    + " is not preloaded into this JVM; set LD_PRELOAD to the shim of the JVM's"
                    + " word size");
            System.err.flush();
            Runtime.getRuntime().halt(REFUSED);
        }
    }
}
