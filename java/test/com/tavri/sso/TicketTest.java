package com.tavri.sso;

import static com.tavri.sso.TestSupport.assertElements;
import static com.tavri.sso.TestSupport.onThreads;
import static com.tavri.sso.TestSupport.python;
import static com.tavri.sso.TestSupport.read;
import static com.tavri.sso.TestSupport.thrown;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotEquals;
import static org.junit.Assert.assertTrue;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import org.junit.BeforeClass;
import org.junit.Test;

/** Ticket evaluation from Java, on tickets made by the outside issuer tests/tools/make_ticket.py. */
public class TicketTest {
    private static String key;
    private static String cert;
    private static byte[] der;

    @BeforeClass
    public static void setUp() throws Exception {
        assertTrue(VID2Ozuved.init(null));
        Path dir = TestSupport.workDir("tickets");
        Path base = dir.resolve("issuer");
        python("make_ticket.py", "cert", base.toString(), "--cn", "Java Ticket Issuer");
        key = base + ".key";
        cert = base + ".pem";
        der = read(dir.resolve("issuer.der"));
        assertTrue(VID2Ozuved.loadKey(der, null, 0, 1));
    }

    static String ticket(String... fields) throws Exception {
        List<String> args = new ArrayList<>(Arrays.asList("ticket", "--key", key, "--cert", cert));
        args.addAll(Arrays.asList(fields));
        return python("make_ticket.py", args.toArray(new String[0]));
    }

    // Remaining seconds: a fresh ticket has lost at most a few seconds of its validity.
    static void assertValidity(int full, Object got) {
        int left = Integer.parseInt((String) got);
        assertTrue("validity " + left, left <= full && left > full - 120);
    }

    @Test
    public void logonTicketGivesAllEightElements() throws Exception {
        String t = ticket("--user", "J\u00fcrgen", "--client", "000", "--sysid", "ABC", "--hours", "8",
                "--portal", "portal:jdoe", "--auth", "basic");
        Object[] r = VID2Ozuved.evalLogonTicket(t, null, null);
        assertValidity(8 * 3600, r[6]);
        assertElements(new Object[] {"J\u00fcrgen", "ABC", "000", der, "jdoe", "basic", r[6], "0"}, r);
    }

    @Test
    public void textsBeyondTheBasicPlaneAndTrailingBlanks() throws Exception {
        String t = ticket("--codepage", "4110", "--user", "\ud83d\ude00 x    ", "--client", "001", "--sysid", "Q\u00c4S",
                "--minutes", "3", "--no-certs");
        Object[] r = VID2Ozuved.evalLogonTicket(t, null, null);
        assertValidity(180, r[6]);
        assertElements(new Object[] {"\ud83d\ude00 x", "Q\u00c4S", "001", der, "", "", r[6], "0"}, r);
    }

    @Test
    public void missingFieldsComeBackEmpty() throws Exception {
        Object[] r = VID2Ozuved.evalLogonTicket(ticket("--portal", "portal:only", "--minutes", "5"), null, null);
        assertValidity(300, r[6]);
        assertElements(new Object[] {"", "", "", der, "only", "", r[6], "0"}, r);
    }

    @Test
    public void assertionTicketIsCheckedAgainstTheGivenIdentity() throws Exception {
        String t = ticket("--user", "JDOE", "--client", "100", "--sysid", "ISS", "--rcpt-sysid", "ABC",
                "--rcpt-client", "001", "--flags", "1", "--minutes", "2");
        Object[] r = VID2Ozuved.evalAssertionTicket(t, null, null, "ABC", "001");
        assertValidity(120, r[6]);
        assertElements(new Object[] {"JDOE", "ISS", "100", der, "", "", r[6], "1"}, r);
        assertEquals("TavriEvalAssertionTicket failed: standard error= 24, ssf error= 0",
                thrown(() -> VID2Ozuved.evalAssertionTicket(t, null, null, "ABD", "001")));
        assertEquals("TavriEvalAssertionTicket failed: standard error= 24, ssf error= 0",
                thrown(() -> VID2Ozuved.evalAssertionTicket(t, null, null, "ABC", "002")));
        // A logon ticket is no assertion ticket.
        String logon = ticket("--user", "JDOE", "--client", "100", "--sysid", "ISS", "--minutes", "2");
        assertEquals("TavriEvalAssertionTicket failed: standard error= 23, ssf error= 0",
                thrown(() -> VID2Ozuved.evalAssertionTicket(logon, null, null, "ABC", "001")));
    }

    @Test
    public void logonEvaluationOfAnAssertionTicketForTheExternalIdentity() throws Exception {
        String t = ticket("--user", "JDOE", "--client", "100", "--sysid", "ISS", "--rcpt-sysid", "EXT",
                "--rcpt-client", "999", "--flags", "1", "--minutes", "2");
        assertEquals("1", VID2Ozuved.evalLogonTicket(t, null, null)[7]);
    }

    @Test
    public void failuresBecomeExceptionsWithBothHalvesOfTheResult() throws Exception {
        String expired = ticket("--user", "JDOE", "--age", "600", "--minutes", "5");
        assertEquals("TavriEvalLogonTicketEx failed: standard error= 4, ssf error= 0",
                thrown(() -> VID2Ozuved.evalLogonTicket(expired, null, null)));
        assertEquals("TavriEvalLogonTicketEx failed: standard error= 1281, ssf error= 0",
                thrown(() -> VID2Ozuved.evalLogonTicket("not*base64", null, null)));
        String other = ticket("--user", "JDOE", "--minutes", "5", "--sign-other");
        String msg = thrown(() -> VID2Ozuved.evalLogonTicket(other, null, null));
        assertTrue(msg, msg.matches("TavriEvalLogonTicketEx failed: standard error= \\d+, ssf error= \\d+"));
        assertNotEquals("TavriEvalLogonTicketEx failed: standard error= 0, ssf error= 0", msg);
    }

    @Test
    public void nullArgumentsOfTheTicketMethods() throws Exception {
        String t = ticket("--user", "JDOE", "--minutes", "5");
        assertEquals("At least one NULL parameter passed. ticket=(nil),PAB=(nil)",
                thrown(() -> VID2Ozuved.evalLogonTicket(null, null, null)));
        String msg = thrown(() -> VID2Ozuved.evalLogonTicket(null, "store.pse", "pin"));
        assertTrue(msg, msg.matches("At least one NULL parameter passed\\. ticket=\\(nil\\),PAB=0x[0-9a-f]+"));
        assertEquals("No SysId set", thrown(() -> VID2Ozuved.evalAssertionTicket(t, null, null, null, "001")));
        assertEquals("No SysId set", thrown(() -> VID2Ozuved.evalAssertionTicket(null, null, null, null, null)));
        assertEquals("No Client set", thrown(() -> VID2Ozuved.evalAssertionTicket(t, null, null, "ABC", null)));
        assertEquals("At least one NULL parameter passed. ticket=(nil)",
                thrown(() -> VID2Ozuved.evalAssertionTicket(null, "store.pse", "pin", "ABC", "001")));
        // Key store and password may be null; a password without a store is ignored.
        assertEquals("JDOE", VID2Ozuved.evalLogonTicket(t, null, "pin")[0]);
    }

    @Test
    public void eightThreadsEvaluateAtOnce() throws Exception {
        String logon = ticket("--user", "JDOE", "--client", "000", "--sysid", "ABC", "--minutes", "30");
        String assertion = ticket("--user", "ADOE", "--client", "100", "--sysid", "ISS", "--rcpt-sysid", "ABC",
                "--rcpt-client", "001", "--flags", "1", "--minutes", "2");
        onThreads(8, i -> {
            final boolean odd = i % 2 == 1;
            for (int k = 0; k < 40; ++k) {
                Object[] r = odd ? VID2Ozuved.evalAssertionTicket(assertion, null, null, "ABC", "001")
                                 : VID2Ozuved.evalLogonTicket(logon, null, null);
                Object[] want = odd ? new Object[] {"ADOE", "ISS", "100", der, "", "", r[6], "1"}
                                    : new Object[] {"JDOE", "ABC", "000", der, "", "", r[6], "0"};
                assertElements(want, r);
            }
        });
    }
}
