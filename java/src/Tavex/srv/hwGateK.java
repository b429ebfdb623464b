package Tavex.srv;

/**
 * Byte-wide access to the x86 I/O ports, and readings of a Q7460 analog-input
 * board, through the native library hwGateK.
 *
 * <p>Every method is {@code static synchronized}: the class monitor lets one
 * call at a time into the library, {@link #ioOpen()} and {@link #ioClose()}
 * included. The library keeps one shared port device descriptor with a
 * single file position, and a Q7460 reading is eight or more transfers that
 * must not interleave with any other transfer. Code that needs several calls
 * to stay together (a write and the read that answers it) can hold the
 * monitor itself: {@code synchronized (hwGateK.class) { ... }}.
 *
 * <p>Failures are negative results, never exceptions. Some also print one
 * line on the process's standard output, from the native side (C
 * {@code printf}): it is buffered there, not in {@link System#out}, and may
 * appear later than Java output printed after it, at the latest when the
 * JVM exits.
 *
 * <p>The native library is loaded when the class is initialised, from the
 * first of: the system property {@code hwgatek.library.path} (the library
 * file, or a folder holding it); {@code java.library.path}; the copy bundled
 * in the jar for this platform, extracted into a private per-user folder
 * (property {@code hwgatek.cache.dir}). If none loads, class initialisation
 * throws one {@link UnsatisfiedLinkError} that lists every place tried.
 *
 * <p>On Linux the library reaches the ports through {@code /dev/port}, which
 * needs root or {@code CAP_SYS_RAWIO}; on Windows it executes the port
 * instructions itself, in a 32-bit JVM that is allowed to.
 */
public final class hwGateK {

    static {
        hwGateKLoader.load(hwGateK.class);
    }

    private hwGateK() {
    }

    /**
     * Opens port access. On Linux opens {@code /dev/port} once and keeps it
     * open until {@link #ioClose()}; opening again while open changes
     * nothing (opens do not nest). On Windows there is nothing to open.
     *
     * @return 0 when port access is open, also when it already was; -1 when
     *         the port device cannot be opened (no permission, no device).
     *         Prints nothing.
     */
    public static synchronized native int ioOpen();

    /**
     * Closes port access. One close ends any number of opens; closing while
     * closed does nothing.
     *
     * @return 0, always. Prints nothing.
     */
    public static synchronized native int ioClose();

    /**
     * Reads one byte from an I/O port.
     *
     * @param port the port address, 0 to 0xFFFF; not checked
     * @return the byte, 0 to 255 (never negative for data); on Linux -2 when
     *         the port device could not be positioned at the port or is not
     *         open, printing {@code _read seek error addr=0xPPPP}, or -3 when
     *         no byte was read, printing {@code _read error addr=0xPPPP}
     */
    public static synchronized native int ioReadPort(int port);

    /**
     * Reads one byte from an I/O port; the same as {@link #ioReadPort(int)}.
     *
     * @param port the port address, 0 to 0xFFFF; not checked
     * @param ignored not used
     * @return as {@link #ioReadPort(int)}, with the same messages
     */
    public static synchronized native int ioReadPort(int port, long ignored);

    /**
     * Writes one byte to an I/O port, with its bit pattern unchanged:
     * {@code (byte) -1} writes 0xFF.
     *
     * @param port the port address, 0 to 0xFFFF; not checked
     * @param b the byte
     * @return 0 when written; on Linux -2 when the port device could not be
     *         positioned at the port or is not open, printing
     *         {@code writePort seek error addr=0xPPPP byte=BB}, or -3 when no
     *         byte was written, printing
     *         {@code writePort write error addr=0xPPPP byte=BB}
     */
    public static synchronized native int ioWritePort(int port, byte b);

    /**
     * Writes one byte to an I/O port; the same as
     * {@link #ioWritePort(int, byte)}.
     *
     * @param port the port address, 0 to 0xFFFF; not checked
     * @param b the byte
     * @param ignored not used
     * @return as {@link #ioWritePort(int, byte)}, with the same messages
     */
    public static synchronized native int ioWritePort(int port, byte b, long ignored);

    /**
     * Reads one channel of a Q7460 analog-input board: selects the channel,
     * starts a conversion, waits while the board is busy (at most a quarter
     * second) and returns the signed 12-bit result in millivolts.
     *
     * <p>-1 is ambiguous: it is also the reading for an input just below
     * 0 mV (a count of -1). A time-out prints
     * {@code Q7460 read channel:C addr=BBBB TIMEOUT}; a failed transfer
     * prints that transfer's message (see {@link #ioReadPort(int)} and
     * {@link #ioWritePort(int, byte)}) and ends the reading at once.
     *
     * @param base the board's base port (status register; the control
     *        register is base + 1)
     * @param channel the input, 0 to 15; only its low four bits are used
     * @return millivolts, -4998 to 4998; or -1 after a time-out or a failed
     *         transfer
     */
    public static synchronized native int ioReadQ7460(int base, int channel);
}
