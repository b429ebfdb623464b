package Tavex.srv;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Instant;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * The command line, java -jar hwgatek.jar COMMAND, run as a user runs it:
 * a JVM of its own on the jar, with the bundled library extracted.
 */
class ToolTest {

    @TempDir
    Path dir;

    private ChildJvm jvm() {
        return new ChildJvm().option("-Dhwgatek.cache.dir=" + dir.resolve("cache"));
    }

    private Path log() {
        return dir.resolve("transfers.log");
    }

    private List<String> logLines() throws Exception {
        return Files.exists(log()) ? Files.readAllLines(log()) : new ArrayList<>();
    }

    private static String lines(String... lines) {
        return String.join("\n", lines) + "\n";
    }

    @Test
    void inbPrintsTheByteAndOutbWritesItsBitPattern() throws Exception {
        ChildJvm.Result in = jvm().sim("PORTS", "0x80=0x1F").runJar("inb", "0x80");
        assertEquals(0, in.exit, in::toString);
        assertEquals("0x1F\n", in.out);
        assertEquals("", in.err);

        ChildJvm.Result out = jvm().sim("LOG", log().toString()).runJar("outb", "128", "-1");
        assertEquals(0, out.exit, out::toString);
        assertEquals("", out.out + out.err);
        List<String> transfers = logLines();
        assertTrue(transfers.contains("write 0x0080 0xFF"), transfers::toString);
        assertTrue(transfers.get(0).startsWith("open "), transfers::toString);
        assertEquals("close", transfers.get(transfers.size() - 1));
    }

    @Test
    void q7460PrintsEveryChannelOfTheBoardIncludingATrueMinusOne() throws Exception {
        ChildJvm.Result result = jvm().sim("LOG", log().toString()).runJar("q7460", "0x300");
        assertEquals(0, result.exit, result::toString);
        assertEquals(lines(
                "channel     mV",
                "      0      0", "      1   1250", "      2   2500", "      3   3750",
                "      4   4998", "      5  -1250", "      6  -2500", "      7  -3750",
                "      8  -4998", "      9    100", "     10   -100", "     11      1",
                "     12     -1", "     13    312", "     14   -312", "     15   2048"), result.out);
        assertEquals("", result.err);
        List<String> transfers = logLines();
        assertEquals(1, transfers.stream().filter(line -> line.startsWith("open ")).count());
        assertEquals("close", transfers.get(transfers.size() - 1));
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "0,2,5     | channel,mV;0,0;2,2500;5,-1250",
        "3         | channel,mV;3,3750",
        "14-15,0x1 | channel,mV;14,-312;15,2048;1,1250"})
    void q7460CsvForChosenChannels(String channels, String expected) throws Exception {
        ChildJvm.Result result = jvm().runJar("q7460", "--csv", "0x300", channels);
        assertEquals(0, result.exit, result::toString);
        assertEquals(expected.replace(';', '\n') + "\n", result.out);
    }

    @Test
    void q7460LogsTimestampedRowsAtTheInterval() throws Exception {
        ChildJvm.Result result = jvm().runJar("q7460", "0x300", "1,5", "--interval", "20", "--count", "3");
        assertEquals(0, result.exit, result::toString);
        List<String> rows = result.outLines();
        assertEquals("time,ch1_mV,ch5_mV", rows.get(0));
        assertEquals(4, rows.size(), result::toString);
        Instant previous = Instant.EPOCH;
        for (String row : rows.subList(1, 4)) {
            String[] cells = row.split(",");
            assertEquals(Arrays.asList("1250", "-1250"), Arrays.asList(cells[1], cells[2]), row);
            Instant time = Instant.parse(cells[0]);
            assertTrue(time.isAfter(previous) && time.isAfter(Instant.now().minusSeconds(600)), row);
            previous = time;
        }
    }

    @Test
    void ctrlCWhileLoggingClosesThePortDevice() throws Exception {
        Path out = dir.resolve("out");
        Path err = dir.resolve("err");
        ChildJvm jvm = jvm().sim("LOG", log().toString());
        Process process = jvm.builder(jvm.jarCommand("q7460", "--interval", "20", "0x300", "2"), out, err)
                .start();
        try {
            long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(60);
            while (ChildJvm.read(out).split("\n").length < 3 && System.nanoTime() < deadline) {
                Thread.sleep(20);
            }
            new ProcessBuilder("kill", "-INT", String.valueOf(process.pid())).start().waitFor();
            assertTrue(process.waitFor(60, TimeUnit.SECONDS), "stopped by Ctrl-C");
        } finally {
            process.destroyForcibly();
        }
        assertEquals(130, process.exitValue(), () -> "exit after SIGINT\n" + read(out) + read(err));
        for (String row : ChildJvm.read(out).split("\n")) {
            assertTrue(row.equals("time,ch2_mV") || row.endsWith("Z,2500"), row);
        }
        List<String> transfers = logLines();
        assertEquals("close", transfers.get(transfers.size() - 1), transfers::toString);
        assertEquals(1, transfers.stream().filter(line -> line.startsWith("open ")).count());
    }

    private static String read(Path file) {
        try {
            return ChildJvm.read(file);
        } catch (Exception e) {
            return e.toString();
        }
    }

    @ParameterizedTest(name = "{0}")
    @CsvSource(delimiter = '|', value = {
        "time-out      | Q7460_CONVERSION=stuck | q7460 0x300 3 | hwgatek: q7460 0x0300 channel 3: time-out: the board stayed busy for a quarter second | Q7460 read channel:3 addr=0300 TIMEOUT",
        "no privilege  | PRIVILEGED=0           | inb 0x80      | hwgatek: cannot open port access (-1): on Linux the port device /dev/port needs root or CAP_SYS_RAWIO |",
        "read fails    | FAULTS=read-error      | inb 0x80      | hwgatek: inb 0x0080: no byte was transferred (-3) | _read error addr=0x0080",
        "write fails   | FAULTS=write-error     | outb 0x80 0x7f | hwgatek: outb 0x0080 0x7F: no byte was transferred (-3) | writePort write error addr=0x0080 byte=7F",
        "reading fails | FAULTS=read-error+     | q7460 0x300 12 | hwgatek: q7460 0x0300 channel 12: no reading: no byte was transferred (-3) | _read error addr=0x0300"})
    void failuresGiveOneLineOnStderrAndExitStatus1(String title, String setting, String command,
            String error, String printed) throws Exception {
        int equals = setting.indexOf('=');
        ChildJvm.Result result = jvm().sim(setting.substring(0, equals), setting.substring(equals + 1))
                .runJar(command.split(" "));
        assertEquals(1, result.exit, result::toString);
        assertEquals(error + "\n", result.err);
        if (printed != null) {
            assertTrue(result.outLines().contains(printed), result::toString);
        }
    }

    @ParameterizedTest
    @ValueSource(strings = {"inb 0x10000", "outb 0x80 256", "q7460 0x300 16"})
    void badArgumentsTouchNoPort(String command) throws Exception {
        ChildJvm.Result result = jvm().sim("LOG", log().toString()).runJar(command.split(" "));
        assertEquals(2, result.exit, result::toString);
        assertTrue(result.err.contains("usage: java -jar hwgatek.jar"), result::toString);
        assertEquals(new ArrayList<String>(), logLines(), "transfers");
    }

    @ParameterizedTest
    @ValueSource(strings = {"--help", "inb --help", "outb -h", "q7460 0x300 --help"})
    void helpGoesToStdoutWithStatus0(String command) throws Exception {
        ChildJvm.Result result = jvm().runJar(command.split(" "));
        assertEquals(0, result.exit, result::toString);
        assertTrue(result.out.startsWith("usage: java -jar hwgatek.jar"), result::toString);
        assertEquals("", result.err);
    }

    /** Argument checks, in this JVM: none of them reaches the native class. */
    @ParameterizedTest(name = "[{index}] {0}")
    @CsvSource(delimiter = '|', value = {
        "''                        | usage: java -jar hwgatek.jar COMMAND",
        "peek 0x80                 | unknown command 'peek'",
        "inb                       | missing argument",
        "inb 0x80 0x81             | unexpected argument '0x81'",
        "inb x80                   | PORT 'x80' is not a number",
        "inb 0x                    | PORT '0x' is not a number",
        "inb +5                    | PORT '+5' is not a number",
        "inb 1e3                   | PORT '1e3' is not a number",
        "inb -1                    | PORT -1 is outside 0..0xFFFF",
        "inb 65536                 | PORT 65536 is outside 0..0xFFFF",
        "inb 99999999999999999999  | PORT '99999999999999999999' is not a number",
        "inb --csv 0x80            | unknown option '--csv'",
        "outb 0x80                 | missing argument",
        "outb 0x80 -129            | BYTE -129 is outside -128..255",
        "outb 0x80 0x100           | BYTE 0x100 is outside -128..255",
        "q7460                     | missing argument",
        "q7460 0xFFFF              | BASE 0xFFFF is outside 0..0xFFFE",
        "q7460 0x300 16            | channel 16 is outside 0..15",
        "q7460 0x300 -1            | channel -1 is outside 0..15",
        "q7460 0x300 5-3           | channel range '5-3' runs backwards",
        "q7460 0x300 1,,2          | channel '' is not a number",
        "q7460 0x300 a             | channel 'a' is not a number",
        "q7460 0x300 --interval    | --interval needs a number",
        "q7460 0x300 --interval 0  | interval 0 is outside 1..",
        "q7460 0x300 --count=x     | count 'x' is not a number",
        "q7460 0x300 --csv=1       | --csv takes no value",
        "q7460 0x300 --verbose     | unknown option '--verbose'"})
    void badArgumentsGetTheUsageAndStatus2(String command, String message) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        ByteArrayOutputStream err = new ByteArrayOutputStream();
        String[] args = command.isEmpty() ? new String[0] : command.trim().split(" +");
        int status = hwGateKTool.run(args, new PrintStream(out, true), new PrintStream(err, true));
        String errors = new String(err.toByteArray(), StandardCharsets.UTF_8);
        assertEquals(2, status, errors);
        assertEquals("", new String(out.toByteArray(), StandardCharsets.UTF_8));
        assertTrue(errors.contains(message), errors);
        assertTrue(errors.contains("usage: java -jar hwgatek.jar"), errors);
    }
}
