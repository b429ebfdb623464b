package Tavex.srv;

import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * Child JVM main: THREADS threads each read their own channel of the board at
 * 0x300 READS times, all at once, and compare every reading with
 * EXPECTED[channel]. Prints "good=G mixed=M" on standard error.
 *
 * <p>usage: ConcurrentReads READS EXPECTED0 EXPECTED1 ... (one per thread)
 */
public final class ConcurrentReads {

    private ConcurrentReads() {
    }

    public static void main(String[] args) throws Exception {
        final int reads = Integer.parseInt(args[0]);
        final int threads = args.length - 1;
        final AtomicInteger good = new AtomicInteger();
        final AtomicInteger mixed = new AtomicInteger();
        final CyclicBarrier start = new CyclicBarrier(threads);
        if (hwGateK.ioOpen() != 0) {
            throw new IllegalStateException("ioOpen failed");
        }
        Thread[] workers = new Thread[threads];
        for (int t = 0; t < threads; t++) {
            final int channel = t;
            final int expected = Integer.parseInt(args[t + 1]);
            workers[t] = new Thread(() -> {
                try {
                    start.await();
                } catch (Exception e) {
                    throw new IllegalStateException(e);
                }
                for (int i = 0; i < reads; i++) {
                    (hwGateK.ioReadQ7460(0x300, channel) == expected ? good : mixed).incrementAndGet();
                }
            });
            workers[t].start();
        }
        for (Thread worker : workers) {
            worker.join();
        }
        hwGateK.ioClose();
        System.err.println("good=" + good + " mixed=" + mixed);
    }
}
