package com.tavri.sso;

import static com.tavri.sso.TestSupport.assertElements;
import static com.tavri.sso.TestSupport.python;
import static com.tavri.sso.TestSupport.read;
import static com.tavri.sso.TestSupport.run;
import static com.tavri.sso.TestSupport.thrown;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import org.junit.BeforeClass;
import org.junit.Test;

/**
 * Assertion tickets issued from Java: taken apart by tests/tools/split_ticket.py,
 * the signature checked by openssl cms, and evaluated again through the binding.
 */
public class SignTest {
    private static Path dir;
    private static byte[] der;

    @BeforeClass
    public static void setUp() throws Exception {
        assertTrue(VID2Ozuved.init(null));
        dir = TestSupport.workDir("sign");
        Path base = dir.resolve("own");
        python("make_ticket.py", "cert", base.toString(), "--cn", "Java Own System");
        run("openssl", "pkcs12", "-export", "-passout", "pass:s3cret", "-inkey", base + ".key", "-in", base + ".pem",
                "-out", base + ".p12");
        der = read(dir.resolve("own.der"));
        assertTrue(VID2Ozuved.loadKey(read(dir.resolve("own.p12")), "s3cret", 0, 0));
    }

    static String hex(String s) {
        StringBuilder b = new StringBuilder();
        for (byte c : s.getBytes(StandardCharsets.UTF_8)) {
            b.append(String.format("%02x", c & 0xff));
        }
        return b.toString();
    }

    @Test
    public void ticketCarriesTheFieldsAndAnOpensslCheckedSignature() throws Exception {
        String t = VID2Ozuved.createAssertionTicket("ISS", "100", null, null, "ABC", "001", "J\u00fcrgen", "E",
                "jdoe", "basic");
        assertFalse(t.contains("+"));
        Path file = dir.resolve("full.txt");
        Files.write(file, t.getBytes(StandardCharsets.US_ASCII));
        Path parts = dir.resolve("full");
        Files.createDirectories(parts);
        String units = python("split_ticket.py", file.toString(), parts.toString());
        for (String line : new String[] {"version 2", "codepage 4110", "unit 1 " + hex("J\u00fcrgen"),
                "unit 2 " + hex("100"), "unit 3 " + hex("ISS"), "unit 7 00000002", "unit 8 01", "unit 9 " + hex("E"),
                "unit 15 " + hex("001"), "unit 16 " + hex("ABC"), "unit 32 " + hex("portal:jdoe"),
                "unit 136 " + hex("basic")}) {
            assertTrue(line + " in\n" + units, units.contains(line + "\n"));
        }
        run("openssl", "cms", "-verify", "-binary", "-inform", "DER", "-in", parts.resolve("signature.der").toString(),
                "-content", parts.resolve("signed.bin").toString(), "-certfile", dir.resolve("own.pem").toString(),
                "-noverify", "-out", "/dev/null");

        Object[] r = VID2Ozuved.evalAssertionTicket(t, null, null, "ABC", "001");
        int left = Integer.parseInt((String) r[6]);
        assertTrue("validity " + left, left <= 120 && left > 0);
        assertElements(new Object[] {"J\u00fcrgen", "ISS", "100", der, "jdoe", "basic", r[6], "1"}, r);
    }

    @Test
    public void portalUserAlone() throws Exception {
        String t = VID2Ozuved.createAssertionTicket("ISS", "100", null, null, "ABC", "001", null, null, "pu", null);
        Object[] r = VID2Ozuved.evalAssertionTicket(t, null, null, "ABC", "001");
        assertElements(new Object[] {"", "ISS", "100", der, "pu", "", r[6], "1"}, r);
    }

    @Test
    public void missingArgumentsInTheirOrder() {
        assertEquals("Local system Id not set", thrown(() -> VID2Ozuved.createAssertionTicket(null, null, null, null,
                null, null, null, null, null, null)));
        assertEquals("Local system client not set", thrown(() -> VID2Ozuved.createAssertionTicket("ISS", null, null,
                null, null, null, "U", null, null, null)));
        assertEquals("Recipient system Id not set", thrown(() -> VID2Ozuved.createAssertionTicket("ISS", "100", null,
                null, null, null, "U", null, null, null)));
        assertEquals("Recipient system client not set", thrown(() -> VID2Ozuved.createAssertionTicket("ISS", "100",
                null, null, "ABC", null, "U", null, null, null)));
        assertEquals("Neither a QOR user nor a Portal user is set", thrown(() -> VID2Ozuved.createAssertionTicket(
                "ISS", "100", null, null, "ABC", "001", null, "E", null, "basic")));
    }

    @Test
    public void refusedInputBecomesAnException() {
        assertEquals("TavriCreateAssertionTicket failed: standard error= 23, ssf error= 0",
                thrown(() -> VID2Ozuved.createAssertionTicket("ISS", "100", null, null, "ABC", "0001", "U", null,
                        null, null)));
        assertEquals("TavriCreateAssertionTicket failed: standard error= 9, ssf error= 0",
                thrown(() -> VID2Ozuved.createAssertionTicket("ISS", "100", null, null, "ABC", "001", "U", "EN",
                        null, null)));
        assertEquals("TavriCreateAssertionTicket failed: standard error= 1, ssf error= 0",
                thrown(() -> VID2Ozuved.createAssertionTicket("ISS", "100", null, null, "ABC", "001", "u".repeat(37),
                        null, null, null)));
        String msg = thrown(() -> VID2Ozuved.createAssertionTicket("ISS", "100", "no-such-store.pse", "pin", "ABC",
                "001", "U", null, null, null));
        assertTrue(msg, msg.matches("TavriCreateAssertionTicket failed: standard error= \\d+, ssf error= \\d+"));
    }
}
