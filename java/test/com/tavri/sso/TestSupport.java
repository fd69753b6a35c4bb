package com.tavri.sso;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotNull;
import static org.junit.Assert.fail;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.atomic.AtomicReference;

/** Outside signers (python tools, openssl) and assertions shared by the Java tests. */
public final class TestSupport {
    private TestSupport() {
    }

    /** A fresh directory below the build tree for one test's files. */
    public static Path workDir(String name) throws IOException {
        Path dir = Paths.get(System.getProperty("qor.work"), "work", name);
        Files.createDirectories(dir);
        return dir;
    }

    public static Path tool(String name) {
        return Paths.get(System.getProperty("qor.tools"), name);
    }

    /** Runs a command, fails the test on a non-zero exit, returns its standard output. */
    public static String run(String... command) throws IOException, InterruptedException {
        ProcessBuilder pb = new ProcessBuilder(command);
        pb.redirectError(ProcessBuilder.Redirect.INHERIT);
        Process p = pb.start();
        byte[] out = p.getInputStream().readAllBytes();
        int rc = p.waitFor();
        if (rc != 0) {
            fail(String.join(" ", command) + " exited with " + rc);
        }
        return new String(out, StandardCharsets.UTF_8);
    }

    public static String python(String toolName, String... args) throws IOException, InterruptedException {
        List<String> cmd = new ArrayList<>(Arrays.asList("/usr/bin/python3", tool(toolName).toString()));
        cmd.addAll(Arrays.asList(args));
        return run(cmd.toArray(new String[0]));
    }

    public static byte[] read(Path file) throws IOException {
        return Files.readAllBytes(file);
    }

    /** The message of the java.lang.Exception that `call` raises. */
    public static String thrown(Call call) {
        try {
            Object r = call.run();
            fail("no exception, result " + (r instanceof Object[] ? Arrays.deepToString((Object[]) r) : r));
            return null;
        } catch (Exception e) {
            assertEquals(Exception.class, e.getClass());
            assertNotNull(e.getMessage());
            return e.getMessage();
        }
    }

    /** Runs body(thread) on `count` threads at once; the first failure of any thread fails the test. */
    public static void onThreads(int count, ThreadBody body) throws InterruptedException {
        AtomicReference<Throwable> failure = new AtomicReference<>();
        Thread[] threads = new Thread[count];
        for (int i = 0; i < count; ++i) {
            final int thread = i;
            threads[i] = new Thread(() -> {
                try {
                    body.run(thread);
                } catch (Throwable e) {
                    failure.compareAndSet(null, e);
                }
            });
            threads[i].start();
        }
        for (Thread th : threads) {
            th.join();
        }
        if (failure.get() != null) {
            throw new AssertionError("a thread failed", failure.get());
        }
    }

    /** What one of the threads of onThreads does. */
    public interface ThreadBody {
        void run(int thread) throws Exception;
    }

    /** One native call whose exception a test looks at. */
    public interface Call {
        Object run() throws Exception;
    }

    /** Compares a result array element by element, byte[] by content. */
    public static void assertElements(Object[] want, Object[] got) {
        assertNotNull(got);
        assertEquals(Object[].class, got.getClass());
        assertEquals(want.length, got.length);
        for (int i = 0; i < want.length; ++i) {
            if (want[i] instanceof byte[]) {
                assertArrayEquals("element " + i, (byte[]) want[i], (byte[]) got[i]);
            } else {
                assertEquals("element " + i, want[i], got[i]);
            }
        }
    }
}
