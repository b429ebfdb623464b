package Tavex.srv;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;

/**
 * Starts a JVM of the same kind as the one running the tests (64- or
 * 32-bit), with the simulator's shim preloaded, the simulator guard agent
 * first, and a simulator configuration of the test's own (inherited
 * HWGATEK_SIM_* settings are dropped). Its standard output, where the
 * native library prints, and its standard error are captured whole.
 */
final class ChildJvm {

    /** What a build property names; the CTest command line sets them all. */
    static Path built(String name) {
        String value = System.getProperty("hwgatek.test." + name);
        if (value == null) {
            throw new IllegalStateException("hwgatek.test." + name + " is not set: run the tests"
                    + " through CTest");
        }
        return Paths.get(value);
    }

    /** The captured outcome of one child JVM. */
    static final class Result {
        final int exit;
        final String out;
        final String err;

        Result(int exit, String out, String err) {
            this.exit = exit;
            this.out = out;
            this.err = err;
        }

        List<String> outLines() {
            return lines(out);
        }

        List<String> errLines() {
            return lines(err);
        }

        static List<String> lines(String text) {
            return text.isEmpty() ? new ArrayList<>() : new ArrayList<>(Arrays.asList(text.split("\n")));
        }

        @Override
        public String toString() {
            return "exit " + exit + "\n--- stdout\n" + out + "--- stderr\n" + err;
        }
    }

    private final Map<String, String> simulator = new LinkedHashMap<>();
    private final List<String> jvmOptions = new ArrayList<>();
    private boolean preload = true;

    /** Pauses take no time unless a test asks for real time. */
    ChildJvm() {
        simulator.put("HWGATEK_SIM_TIME", "virtual");
    }

    ChildJvm sim(String name, String value) {
        simulator.put("HWGATEK_SIM_" + name, value);
        return this;
    }

    ChildJvm option(String... options) {
        jvmOptions.addAll(Arrays.asList(options));
        return this;
    }

    /** Start without the shim: the guard must then refuse. */
    ChildJvm withoutShim() {
        preload = false;
        return this;
    }

    /** java [options] -cp classPath mainClass args */
    Result runClass(String classPath, String mainClass, String... args) throws Exception {
        List<String> command = command();
        command.add("-cp");
        command.add(classPath);
        command.add(mainClass);
        command.addAll(Arrays.asList(args));
        return run(command, null);
    }

    /** java [options] -jar hwgatek.jar args */
    Result runJar(String... args) throws Exception {
        return run(jarCommand(args), null);
    }

    List<String> jarCommand(String... args) {
        List<String> command = command();
        command.add("-jar");
        command.add(built("jar").toString());
        command.addAll(Arrays.asList(args));
        return command;
    }

    private List<String> command() {
        List<String> command = new ArrayList<>();
        command.add(Paths.get(System.getProperty("java.home"), "bin", "java").toString());
        command.add("-javaagent:" + built("simguard"));
        command.add("-XX:+DisplayVMOutputToStderr");
        command.add("-XX:TieredStopAtLevel=1");
        command.add("-XX:+UseSerialGC");
        command.addAll(jvmOptions);
        return command;
    }

    ProcessBuilder builder(List<String> command, Path out, Path err) {
        ProcessBuilder builder = new ProcessBuilder(command);
        Map<String, String> env = builder.environment();
        env.keySet().removeIf(name -> name.startsWith("HWGATEK_SIM_") || name.equals("LD_PRELOAD"));
        if (preload) {
            env.put("LD_PRELOAD", built("shim").toString());
        }
        env.putAll(simulator);
        builder.redirectOutput(out.toFile());
        builder.redirectError(err.toFile());
        return builder;
    }

    Result run(List<String> command, Path workDir) throws Exception {
        Path out = Files.createTempFile("hwgatek-child", ".out");
        Path err = Files.createTempFile("hwgatek-child", ".err");
        try {
            ProcessBuilder builder = builder(command, out, err);
            if (workDir != null) {
                builder.directory(workDir.toFile());
            }
            Process process = builder.start();
            if (!process.waitFor(120, TimeUnit.SECONDS)) {
                process.destroyForcibly().waitFor();
                throw new AssertionError("child JVM did not finish: " + command + "\n"
                        + read(out) + read(err));
            }
            return new Result(process.exitValue(), read(out), read(err));
        } finally {
            Files.deleteIfExists(out);
            Files.deleteIfExists(err);
        }
    }

    static String read(Path file) throws IOException {
        return new String(Files.readAllBytes(file), StandardCharsets.UTF_8);
    }

    static boolean is64Bit() {
        return "64".equals(System.getProperty("sun.arch.data.model"));
    }
}
