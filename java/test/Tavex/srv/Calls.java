package Tavex.srv;

/**
 * Child JVM main: makes the calls named on its command line, in order, and
 * prints each result on standard error as "NAME = RESULT", so that standard
 * output carries only what the native library prints.
 *
 * <pre>
 *   open | close | read:PORT | readJ:PORT:LONG | write:PORT:BYTE
 *   | writeJ:PORT:BYTE:LONG | q7460:BASE:CHANNEL
 * </pre>
 */
public final class Calls {

    private Calls() {
    }

    public static void main(String[] args) {
        for (String call : args) {
            String[] part = call.split(":");
            int result;
            switch (part[0]) {
                case "open":
                    result = hwGateK.ioOpen();
                    break;
                case "close":
                    result = hwGateK.ioClose();
                    break;
                case "read":
                    result = hwGateK.ioReadPort(number(part[1]));
                    break;
                case "readJ":
                    result = hwGateK.ioReadPort(number(part[1]), Long.decode(part[2]));
                    break;
                case "write":
                    result = hwGateK.ioWritePort(number(part[1]), (byte) number(part[2]));
                    break;
                case "writeJ":
                    result = hwGateK.ioWritePort(number(part[1]), (byte) number(part[2]),
                            Long.decode(part[3]));
                    break;
                case "q7460":
                    result = hwGateK.ioReadQ7460(number(part[1]), number(part[2]));
                    break;
                default:
                    throw new IllegalArgumentException(call);
            }
            System.err.println(call + " = " + result);
        }
    }

    static int number(String text) {
        return Long.decode(text).intValue();
    }
}
