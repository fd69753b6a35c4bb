import static com.tavri.sso.TestSupport.thrown;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;

import com.tavri.sso.TestSupport;
import java.nio.file.Path;
import org.junit.BeforeClass;
import org.junit.Test;

/** The default-package class VID2Ozuved gives what the long-named class gives. */
public class ForwarderTest {
    private static Path dir;

    @BeforeClass
    public static void initialise() throws Exception {
        assertTrue(VID2Ozuved.init(""));
        dir = TestSupport.workDir("forwarder");
        TestSupport.python("make_ticket.py", "cert", dir.resolve("issuer").toString(), "--cn", "Forwarded");
    }

    @Test
    public void versionMatchesTheLongName() {
        assertEquals(com.tavri.sso.VID2Ozuved.getVersion(), VID2Ozuved.getVersion());
        assertEquals("QORJWT 1", VID2Ozuved.getVersion());
    }

    @Test
    public void propertiesAreShared() {
        assertTrue(VID2Ozuved.setProperty("QOR_OWN_SYSID", "ABC"));
        assertEquals("ABC", com.tavri.sso.VID2Ozuved.getProperty("QOR_OWN_SYSID"));
        assertEquals(VID2Ozuved.getProperty(null), com.tavri.sso.VID2Ozuved.getProperty(null));
        assertFalse(VID2Ozuved.setProperty(null, "x"));
    }

    @Test
    public void keyAndCertificateMethods() throws Exception {
        byte[] der = TestSupport.read(dir.resolve("issuer.der"));
        assertEquals("CN=Forwarded", VID2Ozuved.parseCertificate(der, 0));
        assertEquals(com.tavri.sso.VID2Ozuved.parseCertificate(der, 8), VID2Ozuved.parseCertificate(der, 8));
        assertEquals("Invalid info request id passed: ID= 9", thrown(() -> VID2Ozuved.parseCertificate(der, 9)));
        assertNull(VID2Ozuved.parseCertificate(null, 0));
        assertFalse(VID2Ozuved.loadKey(null, null, 0, 1));
        assertTrue(VID2Ozuved.loadKey(der, null, 0, 1));
    }

    @Test
    public void ticketMethods() throws Exception {
        String base = dir.resolve("issuer").toString();
        String logon = TestSupport.python("make_ticket.py", "ticket", "--key", base + ".key", "--cert", base + ".pem",
                "--user", "FWD", "--client", "000", "--sysid", "ABC", "--minutes", "5");
        String assertion = TestSupport.python("make_ticket.py", "ticket", "--key", base + ".key", "--cert",
                base + ".pem", "--user", "FWD", "--rcpt-sysid", "ABC", "--rcpt-client", "001", "--flags", "1",
                "--minutes", "2");
        assertTrue(VID2Ozuved.loadKey(TestSupport.read(dir.resolve("issuer.der")), null, 0, 1));
        Object[] r = VID2Ozuved.evalLogonTicket(logon, null, null);
        Object[] viaLongName = com.tavri.sso.VID2Ozuved.evalLogonTicket(logon, null, null);
        viaLongName[6] = r[6]; // a second may have passed in between
        TestSupport.assertElements(viaLongName, r);
        assertEquals("FWD", r[0]);
        assertEquals("1", VID2Ozuved.evalAssertionTicket(assertion, null, null, "ABC", "001")[7]);
        assertEquals("No Client set", thrown(() -> VID2Ozuved.evalAssertionTicket(assertion, null, null, "ABC", null)));
        assertEquals("At least one NULL parameter passed. ticket=(nil),PAB=(nil)",
                thrown(() -> VID2Ozuved.evalLogonTicket(null, null, null)));
    }
}
