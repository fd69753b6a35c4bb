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
        String base = dir.resolve("issuer").toString();
        TestSupport.python("make_ticket.py", "cert", base, "--cn", "Forwarded");
        TestSupport.run("openssl", "pkcs12", "-export", "-passout", "pass:pw", "-inkey", base + ".key", "-in",
                base + ".pem", "-out", base + ".p12");
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
        // The key store of the issuer holds its certificate, and its password stays loaded.
        assertTrue(VID2Ozuved.loadKey(TestSupport.read(dir.resolve("issuer.p12")), "pw", 0, 0));
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

    @Test
    public void issuingAndTokenMethods() throws Exception {
        assertTrue(VID2Ozuved.loadKey(TestSupport.read(dir.resolve("issuer.p12")), "pw", 0, 0));
        String t = VID2Ozuved.createAssertionTicket("ISS", "100", null, null, "ABC", "001", "FWD", null, null, null);
        assertEquals("FWD", com.tavri.sso.VID2Ozuved.evalAssertionTicket(t, null, null, "ABC", "001")[0]);
        assertEquals("Recipient system Id not set", thrown(() -> VID2Ozuved.createAssertionTicket("ISS", "100", null,
                null, null, "001", "FWD", null, null, null)));

        // HS256 over {"alg":"HS256"}.{"uid":"FWD"} with the secret "k", made by python's hmac.
        String jwt = "eyJhbGciOiJIUzI1NiJ9.eyJ1aWQiOiJGV0QifQ." + TestSupport.run("/usr/bin/python3", "-c",
                "import base64,hashlib,hmac;print(base64.urlsafe_b64encode(hmac.new(b'k',"
                + "b'eyJhbGciOiJIUzI1NiJ9.eyJ1aWQiOiJGV0QifQ',hashlib.sha256).digest()).decode().rstrip('='),end='')");
        assertTrue(VID2Ozuved.loadKey("k".getBytes(), null, 0, 2));
        TestSupport.assertElements(new Object[] {"{\"uid\":\"FWD\"}", "FWD"}, VID2Ozuved.evalJWToken(jwt, "uid"));
        assertEquals("No JWT set. JWT pointer=(nil)", thrown(() -> VID2Ozuved.evalJWToken(null, "uid")));
    }
}
