package Tavex.srv;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.DataInputStream;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.util.Arrays;
import java.util.Enumeration;
import java.util.TreeSet;
import java.util.jar.JarEntry;
import java.util.jar.JarFile;
import org.junit.jupiter.api.Test;

/**
 * What hwgatek.jar carries: the classes for Java 8 JVMs, the command line as
 * its Main-Class, and each bundled library built for its platform folder.
 */
class JarTest {

    @Test
    void theJarCarriesJava8ClassesAndItsMainClass() throws Exception {
        try (JarFile jar = new JarFile(ChildJvm.built("jar").toFile())) {
            assertEquals("Tavex.srv.hwGateKTool",
                    jar.getManifest().getMainAttributes().getValue("Main-Class"));
            int classes = 0;
            for (Enumeration<JarEntry> entries = jar.entries(); entries.hasMoreElements(); ) {
                JarEntry entry = entries.nextElement();
                if (!entry.getName().endsWith(".class")) {
                    continue;
                }
                classes++;
                try (DataInputStream in = new DataInputStream(jar.getInputStream(entry))) {
                    assertEquals(0xCAFEBABE, in.readInt());
                    in.readUnsignedShort();
                    assertEquals(52, in.readUnsignedShort(), entry.getName() + ": class file of Java 8");
                }
            }
            assertNotNull(jar.getEntry("Tavex/srv/hwGateK.class"));
            assertTrue(classes > 0);
        }
    }

    @Test
    void eachBundledLibraryIsBuiltForItsFolder() throws Exception {
        try (JarFile jar = new JarFile(ChildJvm.built("jar").toFile())) {
            TreeSet<String> natives = new TreeSet<>();
            for (Enumeration<JarEntry> entries = jar.entries(); entries.hasMoreElements(); ) {
                String name = entries.nextElement().getName();
                if (!name.endsWith("/") && !name.startsWith("Tavex/") && !name.startsWith("META-INF/")) {
                    natives.add(name);
                }
            }
            assertTrue(natives.contains("linux-x86-64/libhwGateK.so"), natives::toString);
            assertTrue(natives.contains("linux-x86/libhwGateK.so"), natives::toString);
            natives.remove("windows-x86/hwGateK.dll"); // bundled once that build exists
            assertEquals("[linux-x86-64/libhwGateK.so, linux-x86/libhwGateK.so]", natives.toString());

            // ELF class (1: 32-bit, 2: 64-bit) and machine (3: i386, 62: x86-64).
            assertArrayEquals(new byte[] {0x7F, 'E', 'L', 'F', 1}, head(jar, "linux-x86/libhwGateK.so", 5));
            assertEquals(3, head(jar, "linux-x86/libhwGateK.so", 19)[18]);
            assertArrayEquals(new byte[] {0x7F, 'E', 'L', 'F', 2}, head(jar, "linux-x86-64/libhwGateK.so", 5));
            assertEquals(62, head(jar, "linux-x86-64/libhwGateK.so", 19)[18]);
            if (jar.getEntry("windows-x86/hwGateK.dll") != null) {
                // MZ, then at the offset stored at 0x3C: "PE\0\0" and machine 0x014C (i386).
                byte[] dos = head(jar, "windows-x86/hwGateK.dll", 0x40);
                assertArrayEquals(new byte[] {'M', 'Z'}, Arrays.copyOf(dos, 2));
                int pe = ByteBuffer.wrap(dos, 0x3C, 4).order(ByteOrder.LITTLE_ENDIAN).getInt();
                byte[] header = head(jar, "windows-x86/hwGateK.dll", pe + 6);
                assertArrayEquals(new byte[] {'P', 'E', 0, 0, 0x4C, 0x01},
                        Arrays.copyOfRange(header, pe, pe + 6));
            }
        }
    }

    private static byte[] head(JarFile jar, String name, int length) throws Exception {
        try (InputStream in = jar.getInputStream(jar.getEntry(name))) {
            byte[] bytes = new byte[length];
            new DataInputStream(in).readFully(bytes);
            return bytes;
        }
    }
}
