package Tavex.srv;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.nio.file.attribute.UserPrincipal;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The private folder into which the bundled library is extracted: created
 * owner-only, reused when identical, replaced atomically when not, refused
 * when someone else could change what gets loaded.
 */
class CacheTest {

    static final byte[] LIBRARY = {0x7F, 'E', 'L', 'F', 1, 2, 3};

    @TempDir
    Path dir;
    Path root;
    String saved;

    @BeforeEach
    void chooseFolder() {
        root = dir.resolve("cache");
        saved = System.setProperty(hwGateKCache.DIR_PROPERTY, root.toString());
    }

    @AfterEach
    void restore() {
        if (saved == null) {
            System.clearProperty(hwGateKCache.DIR_PROPERTY);
        } else {
            System.setProperty(hwGateKCache.DIR_PROPERTY, saved);
        }
    }

    private Path extract() throws IOException {
        return hwGateKCache.extract("linux-x86", "libhwGateK.so", LIBRARY).toPath();
    }

    private static Object inode(Path file) throws IOException {
        return Files.readAttributes(file, "unix:ino", LinkOption.NOFOLLOW_LINKS).get("ino");
    }

    private static String mode(Path path) throws IOException {
        return PosixFilePermissions.toString(Files.getPosixFilePermissions(path, LinkOption.NOFOLLOW_LINKS));
    }

    @Test
    void aFreshCopyGoesIntoOwnerOnlyFolders() throws IOException {
        Path copy = extract();
        assertEquals(root.resolve("linux-x86-" + hwGateKCache.digest(LIBRARY)).resolve("libhwGateK.so"),
                copy);
        assertArrayEquals(LIBRARY, Files.readAllBytes(copy));
        assertEquals("rwx------", mode(root));
        assertEquals("rwx------", mode(copy.getParent()));
        assertEquals("r-x------", mode(copy));
    }

    @Test
    void anIdenticalCopyIsReusedAndADifferentOneReplaced() throws IOException {
        Path copy = extract();
        Object first = inode(copy);
        assertEquals(first, inode(extract()), "identical: reused");

        Files.setPosixFilePermissions(copy, PosixFilePermissions.fromString("rw-------"));
        Files.write(copy, new byte[] {1, 2, 3});
        assertEquals(copy, extract());
        assertArrayEquals(LIBRARY, Files.readAllBytes(copy));
        assertNotEquals(first, inode(copy), "replaced by rename, not rewritten in place");
    }

    @Test
    void aSymbolicLinkInPlaceOfTheCopyIsReplacedNotFollowed() throws IOException {
        Path copy = extract();
        Path elsewhere = Files.write(dir.resolve("elsewhere.so"), LIBRARY);
        Files.delete(copy);
        Files.createSymbolicLink(copy, elsewhere);
        extract();
        assertTrue(Files.isRegularFile(copy, LinkOption.NOFOLLOW_LINKS));
        assertArrayEquals(LIBRARY, Files.readAllBytes(elsewhere));
    }

    @Test
    void foldersThatOthersControlAreRefused() throws IOException {
        Path target = Files.createDirectories(dir.resolve("target"));
        Files.createSymbolicLink(root, target);
        assertTrue(assertThrows(IOException.class, this::extract).getMessage()
                .contains(root + " is a symbolic link"));
        Files.delete(root);

        Files.write(root, new byte[0]);
        assertTrue(assertThrows(IOException.class, this::extract).getMessage()
                .contains(root + " is not a folder"));
        Files.delete(root);

        Files.createDirectory(root);
        Files.setPosixFilePermissions(root, PosixFilePermissions.fromString("rwxrwxr-x"));
        assertTrue(assertThrows(IOException.class, this::extract).getMessage()
                .contains(root + " is writable by other users (rwxrwxr-x); choose a private folder"
                        + " with -Dhwgatek.cache.dir=..."));
    }

    @Test
    void foldersOwnedBySomeoneElseAreRefused() throws IOException {
        assumeTrue("root".equals(System.getProperty("user.name")), "needs root to give files away");
        UserPrincipal nobody = dir.getFileSystem().getUserPrincipalLookupService()
                .lookupPrincipalByName("nobody");
        Path version = Files.createDirectories(root).resolve("linux-x86-" + hwGateKCache.digest(LIBRARY));
        Files.setPosixFilePermissions(root, PosixFilePermissions.fromString("rwx------"));
        Files.createDirectory(version);
        Files.setOwner(version, nobody);
        assertTrue(assertThrows(IOException.class, this::extract).getMessage()
                .contains(version + " is owned by nobody, not by root"));

        Files.setOwner(version, Files.getOwner(root));
        Files.setPosixFilePermissions(version, PosixFilePermissions.fromString("rwx------"));
        Path copy = extract();
        Files.setOwner(copy, nobody);
        Object planted = inode(copy);
        extract();
        assertEquals(Files.getOwner(root), Files.getOwner(copy), "a copy of another user is replaced");
        assertNotEquals(planted, inode(copy));

        Files.setOwner(root, nobody);
        assertTrue(assertThrows(IOException.class, this::extract).getMessage()
                .contains(root + " is owned by nobody"));
    }
}
