package Tavex.srv;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The class and the library's header agree: javac -h, run on the class,
 * writes the declarations that include/Tavex_srv_hwGateK.h holds.
 */
class HeaderTest {

    @TempDir
    Path dir;

    /**
     * Comments and whitespace are left out of the comparison. One difference
     * is expected, and only that one: javac names the non-overloaded
     * ioReadQ7460 by its short name, while the library declares and exports
     * it by its long name ..._ioReadQ7460__II (a JVM looks for the short name
     * first, then the long one, so either binds).
     */
    static String declarations(String header) {
        return header.replaceAll("(?s)/\\*.*?\\*/", " ").replaceAll("//[^\n]*", " ")
                .replaceAll("\\s+", " ").replaceAll(" ?([(),;*]) ?", "$1").trim();
    }

    @Test
    void javacWritesTheDeclarationsOfTheLibrarysHeader() throws Exception {
        Path sources = ChildJvm.built("sources");
        List<String> command = Arrays.asList(ChildJvm.built("javac").toString(), "--release", "8",
                "-Xlint:-options", "-h", dir.resolve("h").toString(), "-d", dir.resolve("classes").toString(),
                "-sourcepath", sources.toString(),
                sources.resolve("Tavex/srv/hwGateK.java").toString());
        Process javac = new ProcessBuilder(command).redirectErrorStream(true).start();
        String output = new String(javac.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertEquals(0, javac.waitFor(), output);

        String generated = declarations(new String(
                Files.readAllBytes(dir.resolve("h/Tavex_srv_hwGateK.h")), StandardCharsets.UTF_8));
        String shortName = "Java_Tavex_srv_hwGateK_ioReadQ7460(";
        assertEquals(1, generated.split("\\Q" + shortName + "\\E", -1).length - 1,
                "javac declares ioReadQ7460 once, by its short name");
        generated = generated.replace(shortName, "Java_Tavex_srv_hwGateK_ioReadQ7460__II(");

        String library = declarations(new String(Files.readAllBytes(
                ChildJvm.built("include").resolve("Tavex_srv_hwGateK.h")), StandardCharsets.UTF_8));
        assertEquals(generated, library);
    }
}
