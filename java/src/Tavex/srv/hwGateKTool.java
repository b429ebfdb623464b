package Tavex.srv;

import java.io.PrintStream;
import java.time.Instant;
import java.time.ZoneOffset;
import java.time.format.DateTimeFormatter;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;

/**
 * The command line of hwgatek.jar: {@code inb}, {@code outb} and
 * {@code q7460}, in the manner of the Linux port tools.
 *
 * <p>Arguments are checked completely before the native library is loaded,
 * so bad arguments never touch a port. Each command opens port access before
 * its transfers and closes it after them, also when the JVM is stopped
 * (Ctrl-C) while it logs.
 *
 * <p>Exit status: 0 done; 1 a port operation failed, a Q7460 reading timed
 * out, or the native library cannot be loaded; 2 bad arguments.
 */
public final class hwGateKTool {

    static final int DONE = 0;
    static final int FAILED = 1;
    static final int BAD_ARGUMENTS = 2;

    static final int MAX_PORT = 0xFFFF;
    static final int CHANNELS = 16;
    private static final int BUSY = 0x40;
    private static final int LOW_SELECT = 0x20;
    private static final int HIGH_SELECT = 0x10;

    static final String USAGE = String.join("\n",
            "usage: java -jar hwgatek.jar COMMAND ARGUMENTS",
            "",
            "  inb PORT               read one byte from an I/O port, printed as 0xNN",
            "  outb PORT BYTE         write one byte (-128..255) to an I/O port",
            "  q7460 BASE [CHANNELS]  read channels of a Q7460 analog board",
            "",
            "Numbers are decimal or 0x hex. 'COMMAND --help' explains one command.",
            "Exit status: 0 done, 1 a port operation failed, 2 bad arguments.");

    static final String INB_USAGE = String.join("\n",
            "usage: java -jar hwgatek.jar inb PORT",
            "",
            "Reads one byte from the I/O port PORT (0..0xFFFF, decimal or 0x hex) and",
            "prints it as 0xNN.",
            "Exit status: 0 done, 1 the read failed, 2 bad arguments.");

    static final String OUTB_USAGE = String.join("\n",
            "usage: java -jar hwgatek.jar outb PORT BYTE",
            "",
            "Writes BYTE (-128..255; -1 is 0xFF) to the I/O port PORT (0..0xFFFF).",
            "Numbers are decimal or 0x hex. Prints nothing when the write succeeds.",
            "Exit status: 0 done, 1 the write failed, 2 bad arguments.");

    static final String Q7460_USAGE = String.join("\n",
            "usage: java -jar hwgatek.jar q7460 [--csv] [--interval MS [--count N]] BASE [CHANNELS]",
            "",
            "Reads channels of the Q7460 analog board whose status register is the port",
            "BASE (0..0xFFFE; the control register is BASE+1) and prints each channel's",
            "reading in millivolts (-4998..4998).",
            "",
            "  CHANNELS        3, 0-15, 0,2,5 or a mix such as 0-3,8 (default: all 16)",
            "  --csv           print CSV (channel,mV) instead of a table",
            "  --interval MS   log: one timestamped CSV row (UTC time, then one column of",
            "                  millivolts per channel) every MS milliseconds, until Ctrl-C",
            "  --count N       log N rows, then stop (alone: one row a second)",
            "",
            "A channel that cannot be read is reported on stderr (its log cell is left",
            "empty) and makes the exit status 1.",
            "Exit status: 0 done, 1 a reading or port operation failed, 2 bad arguments.");

    private hwGateKTool() {
    }

    public static void main(String[] args) {
        int status;
        try {
            status = run(args, System.out, System.err);
        } catch (UnsatisfiedLinkError | NoClassDefFoundError e) {
            System.err.println("hwgatek: " + e.getMessage());
            status = FAILED;
        }
        System.out.flush();
        System.exit(status);
    }

    /** Bad arguments, with the usage text of the command they were for. */
    static final class BadArguments extends Exception {
        private static final long serialVersionUID = 1L;
        final String usage;

        BadArguments(String message, String usage) {
            super(message);
            this.usage = usage;
        }
    }

    /** A command, checked and ready to run. */
    interface Command {
        int run(PrintStream out, PrintStream err);
    }

    static int run(String[] args, PrintStream out, PrintStream err) {
        if (args.length == 0) {
            err.println(USAGE);
            return BAD_ARGUMENTS;
        }
        if (isHelp(args[0])) {
            out.println(USAGE);
            return DONE;
        }
        for (int i = 1; i < args.length; i++) {
            if (isHelp(args[i])) {
                out.println(usageOf(args[0]));
                return DONE;
            }
        }
        Command command;
        try {
            command = parse(args);
        } catch (BadArguments e) {
            err.println("hwgatek: " + e.getMessage());
            err.println(e.usage);
            return BAD_ARGUMENTS;
        }
        return command.run(out, err);
    }

    private static boolean isHelp(String arg) {
        return arg.equals("--help") || arg.equals("-h");
    }

    private static String usageOf(String command) {
        if (command.equals("inb")) {
            return INB_USAGE;
        }
        if (command.equals("outb")) {
            return OUTB_USAGE;
        }
        return command.equals("q7460") ? Q7460_USAGE : USAGE;
    }

    static Command parse(String[] args) throws BadArguments {
        String name = args[0];
        String usage = usageOf(name);
        if (!name.equals("inb") && !name.equals("outb") && !name.equals("q7460")) {
            throw new BadArguments("unknown command '" + name + "'", USAGE);
        }
        List<String> operands = new ArrayList<String>();
        boolean csv = false;
        Long interval = null;
        Long count = null;
        for (int i = 1; i < args.length; i++) {
            String arg = args[i];
            if (!arg.startsWith("-") || looksNumeric(arg)) {
                operands.add(arg);
                continue;
            }
            String option = arg;
            String value = null;
            int equals = arg.indexOf('=');
            if (arg.startsWith("--") && equals > 0) {
                option = arg.substring(0, equals);
                value = arg.substring(equals + 1);
            }
            boolean takesValue = option.equals("--interval") || option.equals("--count");
            if (!name.equals("q7460") || !(takesValue || option.equals("--csv"))) {
                throw new BadArguments("unknown option '" + arg + "'", usage);
            }
            if (option.equals("--csv")) {
                if (value != null) {
                    throw new BadArguments("--csv takes no value", usage);
                }
                csv = true;
                continue;
            }
            if (value == null) {
                if (++i == args.length) {
                    throw new BadArguments(option + " needs a number", usage);
                }
                value = args[i];
            }
            long number = number(value, option.substring(2), 1, Integer.MAX_VALUE, usage);
            if (option.equals("--interval")) {
                interval = number;
            } else {
                count = number;
            }
        }

        if (name.equals("inb")) {
            expectOperands(operands, 1, 1, usage);
            final int port = (int) number(operands.get(0), "PORT", 0, MAX_PORT, usage);
            return new Command() {
                @Override
                public int run(PrintStream out, PrintStream err) {
                    return inb(port, out, err);
                }
            };
        }
        if (name.equals("outb")) {
            expectOperands(operands, 2, 2, usage);
            final int port = (int) number(operands.get(0), "PORT", 0, MAX_PORT, usage);
            final byte b = (byte) number(operands.get(1), "BYTE", -128, 255, usage);
            return new Command() {
                @Override
                public int run(PrintStream out, PrintStream err) {
                    return outb(port, b, err);
                }
            };
        }
        expectOperands(operands, 1, 2, usage);
        final int base = (int) number(operands.get(0), "BASE", 0, MAX_PORT - 1, usage);
        final int[] channels = operands.size() > 1 ? channels(operands.get(1), usage) : allChannels();
        final boolean asCsv = csv;
        final long rows = count == null ? 0 : count;
        final long every = interval != null ? interval : count != null ? 1000 : 0;
        return new Command() {
            @Override
            public int run(PrintStream out, PrintStream err) {
                return every > 0 ? q7460Log(base, channels, every, rows, out, err)
                                 : q7460(base, channels, asCsv, out, err);
            }
        };
    }

    private static boolean looksNumeric(String arg) {
        return arg.length() > 1 && Character.isDigit(arg.charAt(1));
    }

    private static void expectOperands(List<String> operands, int min, int max, String usage)
            throws BadArguments {
        if (operands.size() < min) {
            throw new BadArguments("missing argument", usage);
        }
        if (operands.size() > max) {
            throw new BadArguments("unexpected argument '" + operands.get(max) + "'", usage);
        }
    }

    /** A decimal or 0x hex number, optionally negative, within [min, max]. */
    static long number(String text, String what, long min, long max, String usage)
            throws BadArguments {
        boolean negative = text.startsWith("-");
        String digits = negative ? text.substring(1) : text;
        int radix = 10;
        if (digits.startsWith("0x") || digits.startsWith("0X")) {
            radix = 16;
            digits = digits.substring(2);
        }
        long value;
        try {
            if (digits.isEmpty() || digits.length() > 12 || !Character.isLetterOrDigit(digits.charAt(0))) {
                throw new NumberFormatException();
            }
            value = Long.parseLong(digits, radix);
        } catch (NumberFormatException e) {
            throw new BadArguments(what + " '" + text + "' is not a number", usage);
        }
        value = negative ? -value : value;
        if (value < min || value > max) {
            throw new BadArguments(what + " " + text + " is outside " + bound(min) + ".." + bound(max),
                    usage);
        }
        return value;
    }

    private static String bound(long value) {
        return value > 255 && value != Integer.MAX_VALUE ? String.format("0x%X", value)
                                                         : String.valueOf(value);
    }

    /** "3", "0-15", "0,2,5" or a mix; each channel 0..15. */
    static int[] channels(String text, String usage) throws BadArguments {
        List<Integer> list = new ArrayList<Integer>();
        for (String item : text.split(",", -1)) {
            int dash = item.indexOf('-', 1);
            if (dash < 0) {
                list.add((int) number(item, "channel", 0, CHANNELS - 1, usage));
                continue;
            }
            int first = (int) number(item.substring(0, dash), "channel", 0, CHANNELS - 1, usage);
            int last = (int) number(item.substring(dash + 1), "channel", 0, CHANNELS - 1, usage);
            if (last < first) {
                throw new BadArguments("channel range '" + item + "' runs backwards", usage);
            }
            for (int channel = first; channel <= last; channel++) {
                list.add(channel);
            }
        }
        int[] channels = new int[list.size()];
        for (int i = 0; i < channels.length; i++) {
            channels[i] = list.get(i);
        }
        return channels;
    }

    private static int[] allChannels() {
        int[] channels = new int[CHANNELS];
        for (int i = 0; i < CHANNELS; i++) {
            channels[i] = i;
        }
        return channels;
    }

    // ---- the commands ----

    private static int inb(int port, PrintStream out, PrintStream err) {
        PortAccess access = PortAccess.open(err);
        if (access == null) {
            return FAILED;
        }
        try {
            int value = hwGateK.ioReadPort(port);
            if (value < 0) {
                err.println("hwgatek: inb " + hex(port) + ": " + transferFailure(value));
                return FAILED;
            }
            out.println(String.format("0x%02X", value));
            return DONE;
        } finally {
            access.close();
        }
    }

    private static int outb(int port, byte b, PrintStream err) {
        PortAccess access = PortAccess.open(err);
        if (access == null) {
            return FAILED;
        }
        try {
            int result = hwGateK.ioWritePort(port, b);
            if (result < 0) {
                err.println("hwgatek: outb " + hex(port) + " " + String.format("0x%02X", b & 0xFF)
                        + ": " + transferFailure(result));
                return FAILED;
            }
            return DONE;
        } finally {
            access.close();
        }
    }

    private static int q7460(int base, int[] channels, boolean csv, PrintStream out,
            PrintStream err) {
        PortAccess access = PortAccess.open(err);
        if (access == null) {
            return FAILED;
        }
        try {
            int status = DONE;
            out.println(csv ? "channel,mV" : String.format("%7s %6s", "channel", "mV"));
            for (int channel : channels) {
                if (access.stopping()) {
                    break;
                }
                Reading reading = read(base, channel);
                if (reading.failure != null) {
                    err.println("hwgatek: q7460 " + hex(base) + " channel " + channel + ": "
                            + reading.failure);
                    status = FAILED;
                } else if (csv) {
                    out.println(channel + "," + reading.millivolts);
                } else {
                    out.println(String.format("%7d %6d", channel, reading.millivolts));
                }
            }
            return status;
        } finally {
            access.close();
        }
    }

    private static final DateTimeFormatter TIME =
            DateTimeFormatter.ofPattern("yyyy-MM-dd'T'HH:mm:ss.SSS'Z'").withZone(ZoneOffset.UTC);

    /** Timestamped CSV rows every `intervalMs`, `rows` of them (0: until stopped). */
    private static int q7460Log(int base, int[] channels, long intervalMs, long rows,
            PrintStream out, PrintStream err) {
        PortAccess access = PortAccess.open(err);
        if (access == null) {
            return FAILED;
        }
        try {
            int status = DONE;
            StringBuilder header = new StringBuilder("time");
            for (int channel : channels) {
                header.append(",ch").append(channel).append("_mV");
            }
            out.println(header);
            long interval = TimeUnit.MILLISECONDS.toNanos(intervalMs);
            long next = System.nanoTime();
            for (long row = 0; rows == 0 || row < rows; row++) {
                if (row > 0 && access.waitUntil(next)) {
                    break;
                }
                next += interval;
                StringBuilder line = new StringBuilder(TIME.format(Instant.now()));
                for (int channel : channels) {
                    Reading reading = read(base, channel);
                    line.append(',');
                    if (reading.failure != null) {
                        err.println("hwgatek: q7460 " + hex(base) + " channel " + channel + ": "
                                + reading.failure);
                        status = FAILED;
                    } else {
                        line.append(reading.millivolts);
                    }
                }
                out.println(line);
                if (System.nanoTime() - next > interval) {
                    next = System.nanoTime(); // fell behind: no burst of rows to catch up
                }
            }
            return status;
        } finally {
            access.close();
        }
    }

    /** A reading in millivolts, or why there is none. */
    static final class Reading {
        final int millivolts;
        final String failure;

        Reading(int millivolts, String failure) {
            this.millivolts = millivolts;
            this.failure = failure;
        }
    }

    /**
     * Reads one channel. ioReadQ7460 returns -1 both after a time-out or a
     * failed transfer and for an input just below 0 mV (a count of -1), so a
     * -1 is checked on the board before it is shown: a board still busy has
     * timed out; an idle board whose data bytes hold a count of -1 (low byte
     * 1, high byte with sign and magnitude bits clear) gave a true -1 mV. The
     * checks hold the class monitor with the reading, so that no other
     * thread's transfer comes between them.
     */
    static Reading read(int base, int channel) {
        synchronized (hwGateK.class) {
            int millivolts = hwGateK.ioReadQ7460(base, channel);
            if (millivolts != -1) {
                return new Reading(millivolts, null);
            }
            int status = hwGateK.ioReadPort(base);
            if (status < 0) {
                return new Reading(0, "no reading: " + transferFailure(status));
            }
            if ((status & BUSY) != 0) {
                return new Reading(0, "time-out: the board stayed busy for a quarter second");
            }
            int control = base + 1;
            int low = selectAndRead(control, channel | LOW_SELECT);
            int high = low < 0 ? low : selectAndRead(control, channel | HIGH_SELECT);
            if (high < 0) {
                return new Reading(0, "no reading: " + transferFailure(high));
            }
            if (low == 1 && (high & 0x8F) == 0) {
                return new Reading(-1, null);
            }
            return new Reading(0, "no reading: the board timed out or a transfer failed");
        }
    }

    private static int selectAndRead(int control, int select) {
        int written = hwGateK.ioWritePort(control, (byte) select);
        return written < 0 ? written : hwGateK.ioReadPort(control);
    }

    static String transferFailure(int code) {
        switch (code) {
            case -2:
                return "the port device could not be positioned at the port (-2)";
            case -3:
                return "no byte was transferred (-3)";
            default:
                return "failed (" + code + ")";
        }
    }

    static String hex(int port) {
        return String.format("0x%04X", port);
    }

    /**
     * Open port access for one command. A shutdown hook (Ctrl-C, SIGTERM)
     * asks the command to stop and waits until it has closed port access, so
     * that the port device is closed cleanly either way.
     */
    static final class PortAccess {
        private final CountDownLatch stop = new CountDownLatch(1);
        private final CountDownLatch closed = new CountDownLatch(1);
        private final Thread hook = new Thread(new Runnable() {
            @Override
            public void run() {
                stop.countDown();
                try {
                    closed.await(5, TimeUnit.SECONDS);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                }
            }
        }, "hwgatek-close");

        static PortAccess open(PrintStream err) {
            int result = hwGateK.ioOpen();
            if (result < 0) {
                err.println("hwgatek: cannot open port access (" + result + "): on Linux the port"
                        + " device /dev/port needs root or CAP_SYS_RAWIO");
                return null;
            }
            PortAccess access = new PortAccess();
            Runtime.getRuntime().addShutdownHook(access.hook);
            return access;
        }

        boolean stopping() {
            return stop.getCount() == 0;
        }

        /** Waits until System.nanoTime() reaches `deadline`; true when asked to stop. */
        boolean waitUntil(long deadline) {
            try {
                long wait = deadline - System.nanoTime();
                return stop.await(Math.max(0, wait), TimeUnit.NANOSECONDS);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return true;
            }
        }

        void close() {
            hwGateK.ioClose();
            closed.countDown();
            try {
                Runtime.getRuntime().removeShutdownHook(hook);
            } catch (IllegalStateException shuttingDown) {
                // The hook is running and now sees that port access is closed.
            }
        }
    }
}
