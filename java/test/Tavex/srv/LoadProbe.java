package Tavex.srv;

import java.nio.file.Files;
import java.nio.file.Paths;

/**
 * Child JVM main: initialises Tavex.srv.hwGateK, calls one native to show
 * that it bound, and prints on standard error the file of the library that
 * the JVM mapped ("loaded PATH"), or the load error ("error: MESSAGE").
 */
public final class LoadProbe {

    private LoadProbe() {
    }

    public static void main(String[] args) throws Exception {
        try {
            hwGateK.ioClose();
        } catch (UnsatisfiedLinkError e) {
            System.err.println("error: " + e.getMessage());
            System.exit(3);
        }
        for (String line : Files.readAllLines(Paths.get("/proc/self/maps"))) {
            int at = line.indexOf('/');
            if (at >= 0 && line.substring(at).contains("hwGateK")) {
                System.err.println("loaded " + line.substring(at));
                return;
            }
        }
        System.err.println("loaded nothing");
    }
}
