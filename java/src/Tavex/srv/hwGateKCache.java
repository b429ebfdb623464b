package Tavex.srv;

import java.io.File;
import java.io.IOException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.FileSystems;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFileAttributeView;
import java.nio.file.attribute.PosixFilePermission;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.Arrays;
import java.util.Locale;
import java.util.Set;

/**
 * The private per-user folder into which the bundled native library is
 * extracted before it is loaded.
 *
 * <p>A library is loaded from a file, so whoever can change that file runs
 * code in this JVM. The folder therefore must be the user's own: created
 * owner-only, never a symbolic link, and (on POSIX file systems) owned by
 * this user and writable by no one else; a shared world-writable folder such
 * as /tmp is refused. Each bundled copy goes to a sub-folder named after its
 * platform and content digest, so different versions never replace each
 * other (a loaded Windows DLL cannot be replaced). An existing file there is
 * reused only if it is a regular file of this user with exactly the bundled
 * bytes; anything else is replaced atomically by a fresh copy.
 *
 * <p>The folder is the system property {@code hwgatek.cache.dir}, or by
 * default {@code $XDG_CACHE_HOME/hwgatek} or {@code ~/.cache/hwgatek} on
 * Linux and {@code %LOCALAPPDATA%\hwgatek} on Windows.
 */
final class hwGateKCache {

    static final String DIR_PROPERTY = "hwgatek.cache.dir";

    private static final LinkOption NOFOLLOW = LinkOption.NOFOLLOW_LINKS;

    private hwGateKCache() {
    }

    /** Extracts `bytes` as `fileName` and returns the file to load. */
    static File extract(String platformFolder, String fileName, byte[] bytes) throws IOException {
        Path root = cacheRoot();
        ensurePrivateFolder(root);
        Path folder = root.resolve(platformFolder + "-" + digest(bytes));
        ensurePrivateFolder(folder);
        Path target = folder.resolve(fileName);
        if (!isOwnCopy(target, bytes)) {
            replace(target, bytes);
            if (!isOwnCopy(target, bytes)) {
                throw new IOException(target + " changed while it was being extracted");
            }
        }
        return target.toFile();
    }

    static Path cacheRoot() throws IOException {
        String chosen = System.getProperty(DIR_PROPERTY);
        if (chosen != null && !chosen.isEmpty()) {
            return Paths.get(chosen).toAbsolutePath();
        }
        String home = System.getProperty("user.home");
        boolean windows = System.getProperty("os.name", "").toLowerCase(Locale.ROOT).startsWith("windows");
        String base = windows ? System.getenv("LOCALAPPDATA") : System.getenv("XDG_CACHE_HOME");
        if (base != null && new File(base).isAbsolute()) {
            return Paths.get(base, "hwgatek");
        }
        if (home == null || home.isEmpty() || home.equals("?")) {
            throw new IOException("no home folder to extract into; choose a folder with -D"
                    + DIR_PROPERTY + "=...");
        }
        return windows ? Paths.get(home, "AppData", "Local", "hwgatek")
                       : Paths.get(home, ".cache", "hwgatek");
    }

    /** Creates `folder` owner-only if missing; refuses one that is not private. */
    static void ensurePrivateFolder(Path folder) throws IOException {
        if (!Files.exists(folder, NOFOLLOW)) {
            Path parent = folder.getParent();
            if (parent != null) {
                Files.createDirectories(parent);
            }
            try {
                if (isPosix(parent)) {
                    Files.createDirectory(folder, PosixFilePermissions.asFileAttribute(
                            PosixFilePermissions.fromString("rwx------")));
                } else {
                    Files.createDirectory(folder);
                }
            } catch (FileAlreadyExistsException raced) {
                // Another JVM created it at the same moment: checked below.
            }
        }
        if (Files.isSymbolicLink(folder)) {
            throw new IOException(folder + " is a symbolic link; " + advice());
        }
        if (!Files.isDirectory(folder, NOFOLLOW)) {
            throw new IOException(folder + " is not a folder; " + advice());
        }
        PosixFileAttributeView posix =
                Files.getFileAttributeView(folder, PosixFileAttributeView.class, NOFOLLOW);
        if (posix == null) {
            return;
        }
        checkOwner(folder);
        Set<PosixFilePermission> permissions = posix.readAttributes().permissions();
        if (permissions.contains(PosixFilePermission.GROUP_WRITE)
                || permissions.contains(PosixFilePermission.OTHERS_WRITE)) {
            throw new IOException(folder + " is writable by other users ("
                    + PosixFilePermissions.toString(permissions) + "); " + advice());
        }
    }

    /** True when `file` is a regular file of this user holding exactly `bytes`. */
    private static boolean isOwnCopy(Path file, byte[] bytes) throws IOException {
        if (!Files.isRegularFile(file, NOFOLLOW)) {
            return false;
        }
        if (isPosix(file) && !Files.getOwner(file, NOFOLLOW).equals(currentUser())) {
            return false;
        }
        return Files.size(file) == bytes.length && Arrays.equals(Files.readAllBytes(file), bytes);
    }

    /** Writes a fresh copy beside `target` and renames it over whatever is there. */
    private static void replace(Path target, byte[] bytes) throws IOException {
        Path folder = target.getParent();
        Path fresh = Files.createTempFile(folder, "." + target.getFileName(), ".part");
        try {
            Files.write(fresh, bytes);
            if (isPosix(fresh)) {
                Files.setPosixFilePermissions(fresh, PosixFilePermissions.fromString("r-x------"));
            }
            try {
                Files.move(fresh, target, StandardCopyOption.ATOMIC_MOVE,
                        StandardCopyOption.REPLACE_EXISTING);
            } catch (IOException e) {
                throw new IOException("cannot replace " + target + ": " + e, e);
            }
        } finally {
            Files.deleteIfExists(fresh);
        }
    }

    private static void checkOwner(Path path) throws IOException {
        UserPrincipal owner = Files.getOwner(path, NOFOLLOW);
        UserPrincipal me = currentUser();
        if (!owner.equals(me)) {
            throw new IOException(path + " is owned by " + owner.getName() + ", not by "
                    + me.getName() + "; " + advice());
        }
    }

    private static UserPrincipal currentUser() throws IOException {
        return FileSystems.getDefault().getUserPrincipalLookupService()
                .lookupPrincipalByName(System.getProperty("user.name"));
    }

    private static boolean isPosix(Path path) {
        return path != null && path.getFileSystem().supportedFileAttributeViews().contains("posix");
    }

    private static String advice() {
        return "choose a private folder with -D" + DIR_PROPERTY + "=...";
    }

    /** The first 16 hex digits of the SHA-256 of `bytes`. */
    static String digest(byte[] bytes) {
        try {
            byte[] hash = MessageDigest.getInstance("SHA-256").digest(bytes);
            StringBuilder hex = new StringBuilder();
            for (int i = 0; i < 8; i++) {
                hex.append(String.format("%02x", hash[i] & 0xFF));
            }
            return hex.toString();
        } catch (NoSuchAlgorithmException e) {
            throw new IllegalStateException("every JVM has SHA-256", e);
        }
    }
}
