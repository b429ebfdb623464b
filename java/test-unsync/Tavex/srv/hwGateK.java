package Tavex.srv;

/**
 * Test-only twin of the real class with the same name, so that it binds the
 * same native exports, but with natives that are NOT synchronized. The
 * serialisation test runs its concurrent readers against this class too, in
 * a JVM of its own, to show that the readings then get mixed: proof that the
 * test can tell a serialised class from one that is not.
 */
public final class hwGateK {

    static {
        hwGateKLoader.load(hwGateK.class);
    }

    private hwGateK() {
    }

    public static native int ioOpen();

    public static native int ioClose();

    public static native int ioReadPort(int port);

    public static native int ioReadPort(int port, long ignored);

    public static native int ioWritePort(int port, byte b);

    public static native int ioWritePort(int port, byte b, long ignored);

    public static native int ioReadQ7460(int base, int channel);
}
