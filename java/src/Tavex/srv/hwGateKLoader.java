package Tavex.srv;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;

/**
 * Finds and loads the native library of {@link hwGateK}, trying in turn:
 * <ol>
 * <li>the system property {@code hwgatek.library.path}: the library file, or
 *     a folder holding it;</li>
 * <li>{@code System.loadLibrary("hwGateK")}, which searches
 *     {@code java.library.path};</li>
 * <li>the copy bundled in the jar under this platform's folder
 *     ({@code linux-x86}, {@code linux-x86-64}, {@code windows-x86}),
 *     extracted into a private per-user folder (see {@link hwGateKCache}).</li>
 * </ol>
 * If none loads, one {@link UnsatisfiedLinkError} names the platform, the file
 * looked for and every place tried with the reason.
 */
final class hwGateKLoader {

    static final String PATH_PROPERTY = "hwgatek.library.path";
    static final String LIBRARY = "hwGateK";

    /** The platform folders a jar may carry, each with its library file. */
    static final String[][] BUNDLES = {
        {"linux-x86", "libhwGateK.so"},
        {"linux-x86-64", "libhwGateK.so"},
        {"windows-x86", "hwGateK.dll"},
    };

    private hwGateKLoader() {
    }

    static void load(Class<?> owner) {
        Platform platform = Platform.current();
        List<String> tried = new ArrayList<String>();

        String configured = System.getProperty(PATH_PROPERTY);
        if (configured == null || configured.isEmpty()) {
            tried.add("property " + PATH_PROPERTY + ": not set");
        } else {
            File file = new File(configured);
            if (file.isDirectory()) {
                file = new File(file, platform.libraryFile);
            }
            String reason = loadFile(file);
            if (reason == null) {
                return;
            }
            tried.add("property " + PATH_PROPERTY + "=" + configured + ": " + reason);
        }

        try {
            System.loadLibrary(LIBRARY);
            return;
        } catch (UnsatisfiedLinkError e) {
            tried.add("java.library.path=" + System.getProperty("java.library.path") + ": "
                    + e.getMessage());
        }

        String reason = loadBundled(owner, platform);
        if (reason == null) {
            return;
        }
        tried.add("bundled " + platform.resource() + ": " + reason);
        throw new UnsatisfiedLinkError(describeFailure(platform, tried, bundledFolders(owner)));
    }

    /** Loads one file; null when loaded, else why not. */
    private static String loadFile(File file) {
        if (!file.isFile()) {
            return file.getPath() + ": no such file";
        }
        try {
            System.load(file.getAbsolutePath());
            return null;
        } catch (UnsatisfiedLinkError e) {
            return e.getMessage();
        }
    }

    private static String loadBundled(Class<?> owner, Platform platform) {
        if (platform.folder == null) {
            return "no bundled library for this platform";
        }
        byte[] bytes;
        try {
            bytes = readResource(owner, platform.resource());
        } catch (IOException e) {
            return "cannot read it from the jar: " + e.getMessage();
        }
        if (bytes == null) {
            return "not in the jar";
        }
        File extracted;
        try {
            extracted = hwGateKCache.extract(platform.folder, platform.libraryFile, bytes);
        } catch (IOException e) {
            return "cannot extract it: " + e.getMessage();
        }
        String reason = loadFile(extracted);
        if (reason != null && reason.contains("failed to map segment")) {
            reason += " (is " + extracted.getParent() + " on a file system mounted noexec? choose "
                    + "another folder with -D" + hwGateKCache.DIR_PROPERTY + "=...)";
        }
        return reason == null ? null : "extracted to " + extracted + ": " + reason;
    }

    /** The bytes of a resource, or null when the jar does not carry it. */
    static byte[] readResource(Class<?> owner, String name) throws IOException {
        InputStream in = owner.getResourceAsStream("/" + name);
        if (in == null) {
            return null;
        }
        try {
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] buffer = new byte[16384];
            for (int n; (n = in.read(buffer)) > 0; ) {
                out.write(buffer, 0, n);
            }
            return out.toByteArray();
        } finally {
            in.close();
        }
    }

    /** The platform folders that the jar (or class path) carries. */
    static List<String> bundledFolders(Class<?> owner) {
        List<String> folders = new ArrayList<String>();
        for (String[] bundle : BUNDLES) {
            if (owner.getResource("/" + bundle[0] + "/" + bundle[1]) != null) {
                folders.add(bundle[0]);
            }
        }
        return folders;
    }

    static String describeFailure(Platform platform, List<String> tried, List<String> bundled) {
        StringBuilder text = new StringBuilder();
        text.append("cannot load the native library ").append(LIBRARY)
                .append(" of Tavex.srv.hwGateK\n");
        text.append("  platform: ").append(platform).append('\n');
        text.append("  file looked for: ").append(platform.libraryFile).append('\n');
        text.append("  tried:\n");
        for (int i = 0; i < tried.size(); i++) {
            text.append("    ").append(i + 1).append(". ").append(tried.get(i)).append('\n');
        }
        text.append("  the jar carries: ")
                .append(bundled.isEmpty() ? "no native library" : join(bundled)).append('\n');
        String hint = bitnessHint(platform, bundled);
        if (hint != null) {
            text.append("  ").append(hint).append('\n');
        }
        return text.toString().trim();
    }

    /**
     * When the jar has this system's library only for the other word size:
     * which JVM can load it (the Windows library, for one, is 32-bit only).
     */
    static String bitnessHint(Platform platform, List<String> bundled) {
        if (platform.os == null || bundled.contains(platform.folder)) {
            return null;
        }
        List<String> other = new ArrayList<String>();
        for (String folder : bundled) {
            if (folder.startsWith(platform.os + "-")) {
                other.add(folder);
            }
        }
        if (other.isEmpty()) {
            return null;
        }
        String needed = other.contains(platform.os + "-x86") ? "32-bit" : "64-bit";
        return "this JVM is " + platform.dataModel + "-bit, and the jar carries the "
                + platform.os + " library only for " + needed + " JVMs (" + join(other)
                + "): run the program on a " + needed + " JVM";
    }

    private static String join(List<String> items) {
        StringBuilder text = new StringBuilder();
        for (String item : items) {
            text.append(text.length() == 0 ? "" : ", ").append(item);
        }
        return text.toString();
    }

    /** This JVM's platform, as the bundled folders name it. */
    static final class Platform {
        final String osName;
        final String osArch;
        final String dataModel;   // "32" or "64"
        final String os;          // "linux", "windows" or null
        final String folder;      // e.g. "linux-x86-64", or null
        final String libraryFile; // the file name looked for

        Platform(String osName, String osArch, String dataModelProperty) {
            this.osName = osName;
            this.osArch = osArch;
            String name = osName.toLowerCase(Locale.ROOT);
            String arch = osArch.toLowerCase(Locale.ROOT);
            String cpu = null;
            if (arch.equals("amd64") || arch.equals("x86_64") || arch.equals("x86-64")) {
                cpu = "x86-64";
            } else if (arch.equals("x86") || arch.matches("i[3-6]86")) {
                cpu = "x86";
            }
            if ("32".equals(dataModelProperty) || "64".equals(dataModelProperty)) {
                dataModel = dataModelProperty;
            } else {
                dataModel = arch.contains("64") ? "64" : "32";
            }
            os = name.startsWith("linux") ? "linux" : name.startsWith("windows") ? "windows" : null;
            folder = os != null && cpu != null ? os + "-" + cpu : null;
            libraryFile = "windows".equals(os) ? LIBRARY + ".dll"
                    : "linux".equals(os) ? "lib" + LIBRARY + ".so" : System.mapLibraryName(LIBRARY);
        }

        static Platform current() {
            return new Platform(System.getProperty("os.name", ""), System.getProperty("os.arch", ""),
                    System.getProperty("sun.arch.data.model"));
        }

        String resource() {
            return (folder == null ? "?" : folder) + "/" + libraryFile;
        }

        @Override
        public String toString() {
            return "os.name=" + osName + ", os.arch=" + osArch + ", " + dataModel + "-bit JVM"
                    + (folder == null ? " (no bundled folder for this platform)"
                                      : " (bundled folder " + folder + ")");
        }
    }
}
