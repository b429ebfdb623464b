package Tavex.srv;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.stream.Stream;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * The seven native methods of Tavex.srv.hwGateK against libhwGateK and the
 * simulated port device. Each scenario runs in a JVM of its own, whose
 * results come back on stderr and whose stdout holds exactly the lines the
 * library printed.
 */
class MethodsTest {

    @Test
    void declaresTheSevenNativesStaticSynchronizedReturningInt() throws Exception {
        List<String> expected = Arrays.asList(
                "ioClose()", "ioOpen()", "ioReadPort(int)", "ioReadPort(int,long)",
                "ioReadQ7460(int,int)", "ioWritePort(int,byte)", "ioWritePort(int,byte,long)");
        List<String> found = new ArrayList<>();
        for (Method method : hwGateK.class.getDeclaredMethods()) {
            int modifiers = method.getModifiers();
            if (!Modifier.isNative(modifiers)) {
                continue;
            }
            StringBuilder signature = new StringBuilder(method.getName()).append('(');
            for (Class<?> type : method.getParameterTypes()) {
                signature.append(signature.charAt(signature.length() - 1) == '(' ? "" : ",")
                        .append(type.getName());
            }
            found.add(signature.append(')').toString());
            assertTrue(Modifier.isPublic(modifiers) && Modifier.isStatic(modifiers)
                    && Modifier.isSynchronized(modifiers), method + " is public static synchronized");
            assertEquals(int.class, method.getReturnType(), method + " returns int");
        }
        found.sort(null);
        assertEquals(expected, found);
    }

    @Test
    void everyNativeBindsInThisJvm() {
        // The test JVM loaded the library of its own word size at class
        // initialisation; a method without its export would throw here.
        assertEquals(0, hwGateK.ioOpen());
        assertTrue(hwGateK.ioReadPort(0x80) >= 0);
        assertTrue(hwGateK.ioReadPort(0x80, 0L) >= 0);
        assertEquals(0, hwGateK.ioWritePort(0x80, (byte) 1));
        assertEquals(0, hwGateK.ioWritePort(0x80, (byte) 1, 0L));
        assertEquals(1250, hwGateK.ioReadQ7460(0x300, 1));
        assertEquals(0, hwGateK.ioClose());
    }

    static Stream<Arguments> scenarios() {
        return Stream.of(
            Arguments.of("bytes keep their bit pattern; the long is ignored",
                new String[] {"PORTS=0x80=0x12,0x81=0xFF"},
                new String[] {"open = 0", "read:0x80 = 18", "read:0x81 = 255",
                    "readJ:0x80:-1 = 18", "readJ:0x80:0x7FFFFFFFFFFFFFFF = 18",
                    "readJ:0x80:-0x8000000000000000 = 18",
                    "write:0x80:-1 = 0", "read:0x80 = 255",
                    "writeJ:0x80:-128:0x7FFFFFFFFFFFFFFF = 0", "read:0x80 = 128",
                    "writeJ:0x80:127:-1 = 0", "read:0x80 = 127", "write:0x80:0 = 0",
                    "read:0x80 = 0", "close = 0"},
                new String[] {}),
            Arguments.of("every transfer before open fails with -2 and its message",
                new String[] {},
                new String[] {"read:0x80 = -2", "readJ:0x80:5 = -2", "write:0x80:-1 = -2",
                    "writeJ:0x80:-1:5 = -2", "close = 0"},
                new String[] {"_read seek error addr=0x0080", "_read seek error addr=0x0080",
                    "writePort seek error addr=0x0080 byte=FF",
                    "writePort seek error addr=0x0080 byte=FF"}),
            Arguments.of("opens do not nest: one close ends two opens",
                new String[] {},
                new String[] {"open = 0", "open = 0", "read:0x80 = 255", "close = 0",
                    "read:0x80 = -2", "close = 0", "close = 0"},
                new String[] {"_read seek error addr=0x0080"}),
            Arguments.of("a failed open prints nothing, and the next open tries again",
                new String[] {"FAULTS=open-eperm"},
                new String[] {"open = -1", "read:0x80 = -2", "open = 0", "read:0x80 = 255",
                    "close = 0"},
                new String[] {"_read seek error addr=0x0080"}),
            Arguments.of("without privilege the port device does not open",
                new String[] {"PRIVILEGED=0"},
                new String[] {"open = -1", "close = 0"},
                new String[] {}),
            Arguments.of("transfers that move no byte give -3; a misplaced device -2",
                new String[] {"FAULTS=read-error@1,write-none@1,seek-elsewhere@3"},
                new String[] {"open = 0", "read:0x80 = -3", "write:0x81:-1 = -3",
                    "read:0x82 = -2", "read:0x80 = 255", "close = 0"},
                new String[] {"_read error addr=0x0080", "writePort write error addr=0x0081 byte=FF",
                    "_read seek error addr=0x0082"}),
            Arguments.of("negative addresses never reach a transfer",
                new String[] {},
                new String[] {"open = 0", "read:-1 = -2", "write:-2:0x7F = -2", "close = 0"},
                new String[] {"_read seek error addr=0xFFFFFFFF",
                    "writePort seek error addr=0xFFFFFFFE byte=7F"}),
            Arguments.of("the default board: every channel, and channels beyond 15 wrap",
                new String[] {},
                new String[] {"open = 0", "q7460:0x300:0 = 0", "q7460:0x300:1 = 1250",
                    "q7460:0x300:2 = 2500", "q7460:0x300:3 = 3750", "q7460:0x300:4 = 4998",
                    "q7460:0x300:5 = -1250", "q7460:0x300:6 = -2500", "q7460:0x300:7 = -3750",
                    "q7460:0x300:8 = -4998", "q7460:0x300:9 = 100", "q7460:0x300:10 = -100",
                    "q7460:0x300:11 = 1", "q7460:0x300:12 = -1", "q7460:0x300:13 = 312",
                    "q7460:0x300:14 = -312", "q7460:0x300:15 = 2048", "q7460:0x300:16 = 0",
                    "q7460:0x300:17 = 1250", "q7460:0x300:-1 = 2048", "close = 0"},
                new String[] {}),
            Arguments.of("raw data bytes: sign bit, ignored bits 4-6, truncation toward zero",
                new String[] {"Q7460=0x200",
                    "Q7460_DATA=0=0xFF:0xFF,1=0xFF:0x7F,2=0x05:0x00,3=0x00:0x01,4=0x00:0x00"},
                new String[] {"open = 0", "q7460:0x200:0 = 4998", "q7460:0x200:1 = -4998",
                    "q7460:0x200:2 = -6", "q7460:0x200:3 = -312", "q7460:0x200:4 = 0",
                    "close = 0"},
                new String[] {}),
            Arguments.of("a board that stays busy times out with -1 and prints the channel as given",
                new String[] {"Q7460_CONVERSION=stuck"},
                new String[] {"open = 0", "q7460:0x300:17 = -1", "close = 0"},
                new String[] {"Q7460 read channel:17 addr=0300 TIMEOUT"}),
            Arguments.of("a reading with the device closed ends at the first failed transfer",
                new String[] {},
                new String[] {"q7460:0x300:3 = -1"},
                new String[] {"writePort seek error addr=0x0301 byte=03"}));
    }

    @ParameterizedTest(name = "{0}")
    @MethodSource("scenarios")
    void scenario(String title, String[] simulator, String[] calls, String[] printed)
            throws Exception {
        ChildJvm jvm = new ChildJvm().option("-Dhwgatek.library.path=" + ChildJvm.built("library"));
        for (String setting : simulator) {
            int equals = setting.indexOf('=');
            jvm.sim(setting.substring(0, equals), setting.substring(equals + 1));
        }
        String[] names = new String[calls.length];
        List<String> expected = new ArrayList<>();
        for (int i = 0; i < calls.length; i++) {
            names[i] = calls[i].substring(0, calls[i].indexOf(" = "));
            expected.add(calls[i]);
        }
        String classPath = ChildJvm.built("testsJar") + ":" + ChildJvm.built("jar");
        ChildJvm.Result result = jvm.runClass(classPath, "Tavex.srv.Calls", names);
        assertEquals(0, result.exit, result::toString);
        List<String> reported = new ArrayList<>();
        for (String line : result.errLines()) {
            if (line.contains(" = ")) {
                reported.add(line);
            }
        }
        assertEquals(expected, reported, result::toString);
        assertEquals(Arrays.asList(printed), result.outLines(), result::toString);
    }
}
