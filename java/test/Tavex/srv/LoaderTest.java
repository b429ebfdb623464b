package Tavex.srv;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/**
 * Where Tavex.srv.hwGateK loads its library from: the property
 * hwgatek.library.path, then java.library.path, then the copy bundled in the
 * jar; and what it says when nothing loads. Each case in a JVM of its own.
 */
class LoaderTest {

    @TempDir
    Path dir;

    /** A copy of this word size's library in a folder of its own. */
    private Path copyOfLibrary(String folder) throws Exception {
        Path target = Files.createDirectories(dir.resolve(folder)).resolve("libhwGateK.so");
        return Files.copy(ChildJvm.built("library"), target, StandardCopyOption.REPLACE_EXISTING);
    }

    private ChildJvm.Result probe(String classPath, String... options) throws Exception {
        return new ChildJvm()
                .option("-Dhwgatek.cache.dir=" + dir.resolve("cache"))
                .option(options)
                .runClass(classPath, "Tavex.srv.LoadProbe");
    }

    private static String withJar() {
        return ChildJvm.built("testsJar") + ":" + ChildJvm.built("jar");
    }

    /** The classes alone: no bundled library. */
    private static String withoutNatives() {
        return ChildJvm.built("testsJar") + ":" + ChildJvm.built("classesJar");
    }

    @Test
    void thePropertyComesFirstAsAFileOrAFolder() throws Exception {
        Path chosen = copyOfLibrary("chosen");
        String elsewhere = copyOfLibrary("elsewhere").getParent().toString();
        for (String property : Arrays.asList(chosen.toString(), chosen.getParent().toString())) {
            ChildJvm.Result result = probe(withJar(), "-Dhwgatek.library.path=" + property,
                    "-Djava.library.path=" + elsewhere);
            assertEquals(0, result.exit, result::toString);
            assertTrue(result.err.contains("loaded " + chosen), result::toString);
        }
    }

    @Test
    void javaLibraryPathComesBeforeTheBundledCopy() throws Exception {
        Path onPath = copyOfLibrary("onpath");
        ChildJvm.Result result = probe(withJar(), "-Djava.library.path=" + onPath.getParent(),
                "-Dhwgatek.library.path=" + dir.resolve("missing"));
        assertEquals(0, result.exit, result::toString);
        assertTrue(result.err.contains("loaded " + onPath), result::toString);
        assertTrue(!Files.exists(dir.resolve("cache")), "nothing extracted");
    }

    @Test
    void theBundledCopyIsExtractedPrivatelyAndReused() throws Exception {
        String folder = ChildJvm.is64Bit() ? "linux-x86-64" : "linux-x86";
        ChildJvm.Result first = probe(withJar(), "-Djava.library.path=" + dir.resolve("none"));
        assertEquals(0, first.exit, first::toString);
        Path cache = dir.resolve("cache");
        List<Path> copies;
        try (java.util.stream.Stream<Path> files = Files.walk(cache)) {
            copies = files.filter(Files::isRegularFile).collect(java.util.stream.Collectors.toList());
        }
        assertEquals(1, copies.size(), copies::toString);
        Path copy = copies.get(0);
        assertTrue(copy.getParent().getFileName().toString().startsWith(folder + "-"), copy::toString);
        assertTrue(first.err.contains("loaded " + copy), first::toString);
        assertEquals("rwx------", permissions(cache));
        assertEquals("rwx------", permissions(copy.getParent()));

        Object key = Files.readAttributes(copy, "unix:ino").get("ino");
        ChildJvm.Result second = probe(withJar(), "-Djava.library.path=" + dir.resolve("none"));
        assertEquals(0, second.exit, second::toString);
        assertEquals(key, Files.readAttributes(copy, "unix:ino").get("ino"), "the copy is reused");
    }

    @Test
    void whenNothingLoadsOneErrorListsEveryPlaceTried() throws Exception {
        ChildJvm.Result result = probe(withoutNatives(),
                "-Dhwgatek.library.path=" + dir.resolve("bogus.so"),
                "-Djava.library.path=" + dir.resolve("empty"));
        assertEquals(3, result.exit, result::toString);
        String expectedFolder = ChildJvm.is64Bit() ? "linux-x86-64" : "linux-x86";
        for (String part : Arrays.asList(
                "error: cannot load the native library hwGateK of Tavex.srv.hwGateK",
                "platform: os.name=Linux, os.arch=" + System.getProperty("os.arch") + ", "
                        + System.getProperty("sun.arch.data.model") + "-bit JVM (bundled folder "
                        + expectedFolder + ")",
                "file looked for: libhwGateK.so",
                "1. property hwgatek.library.path=" + dir.resolve("bogus.so") + ": "
                        + dir.resolve("bogus.so") + ": no such file",
                "2. java.library.path=" + dir.resolve("empty") + ": no hwGateK in java.library.path",
                "3. bundled " + expectedFolder + "/libhwGateK.so: not in the jar",
                "the jar carries: no native library")) {
            assertTrue(result.err.contains(part), () -> "missing '" + part + "' in\n" + result);
        }
    }

    @Test
    void anUnsafeCacheFolderIsRefusedWithTheReason() throws Exception {
        Path shared = Files.createDirectories(dir.resolve("shared"));
        Files.setPosixFilePermissions(shared,
                java.nio.file.attribute.PosixFilePermissions.fromString("rwxrwxrwx"));
        ChildJvm.Result result = new ChildJvm()
                .option("-Dhwgatek.cache.dir=" + shared, "-Djava.library.path=" + dir.resolve("none"))
                .runClass(withJar(), "Tavex.srv.LoadProbe");
        assertEquals(3, result.exit, result::toString);
        assertTrue(result.err.contains("cannot extract it: " + shared + " is writable by other users"),
                result::toString);
    }

    /** A jar that carries this system's library only for the other word size. */
    @ParameterizedTest(name = "{0} {1} JVM, jar with {2}")
    @CsvSource({
        "Windows 10, amd64, windows-x86, hwGateK.dll, 64-bit, 32-bit",
        "Linux, amd64, linux-x86, libhwGateK.so, 64-bit, 32-bit",
        "Linux, i386, linux-x86-64, libhwGateK.so, 32-bit, 64-bit"})
    void theErrorSaysWhichJvmTheBundledLibraryNeeds(String os, String arch, String folder,
            String file, String jvm, String needed) throws Exception {
        Path natives = Files.createDirectories(dir.resolve("natives").resolve(folder));
        Files.write(natives.resolve(file), new byte[] {0});
        ChildJvm.Result result = probe(withoutNatives() + ":" + dir.resolve("natives"),
                "-Dos.name=" + os, "-Dos.arch=" + arch, "-Dsun.arch.data.model=" + jvm.substring(0, 2),
                "-Djava.library.path=" + dir.resolve("empty"));
        assertEquals(3, result.exit, result::toString);
        assertTrue(result.err.contains("the jar carries: " + folder), result::toString);
        assertTrue(result.err.contains("this JVM is " + jvm + ", and the jar carries the "
                + os.split(" ")[0].toLowerCase() + " library only for " + needed + " JVMs ("
                + folder + "): run the program on a " + needed + " JVM"), result::toString);
    }

    @ParameterizedTest(name = "{0} {1}")
    @CsvSource({
        "Linux, amd64, 64, linux-x86-64, libhwGateK.so",
        "Linux, x86_64, 64, linux-x86-64, libhwGateK.so",
        "Linux, i386, 32, linux-x86, libhwGateK.so",
        "Linux, i686, 32, linux-x86, libhwGateK.so",
        "Windows 10, x86, 32, windows-x86, hwGateK.dll",
        "Windows Server 2008, amd64, 64, windows-x86-64, hwGateK.dll",
        "Linux, aarch64, 64, , libhwGateK.so"})
    void platformFolders(String os, String arch, String model, String folder, String file) {
        hwGateKLoader.Platform platform = new hwGateKLoader.Platform(os, arch, model);
        assertEquals(folder, platform.folder);
        assertEquals(file, platform.libraryFile);
        assertEquals(model, platform.dataModel);
    }

    @Test
    void noHintWhenTheJarHasNothingForThisSystem() {
        hwGateKLoader.Platform platform = new hwGateKLoader.Platform("Linux", "amd64", "64");
        assertEquals(null, hwGateKLoader.bitnessHint(platform, Collections.singletonList("windows-x86")));
        assertEquals(null, hwGateKLoader.bitnessHint(platform, Collections.singletonList("linux-x86-64")));
    }

    private static String permissions(Path path) throws Exception {
        return java.nio.file.attribute.PosixFilePermissions.toString(
                Files.getPosixFilePermissions(path, java.nio.file.LinkOption.NOFOLLOW_LINKS));
    }
}
