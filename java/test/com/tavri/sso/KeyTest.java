package com.tavri.sso;

import static com.tavri.sso.TestSupport.python;
import static com.tavri.sso.TestSupport.read;
import static com.tavri.sso.TestSupport.run;
import static com.tavri.sso.TestSupport.thrown;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Base64;
import java.util.HashMap;
import java.util.Map;
import org.junit.BeforeClass;
import org.junit.Test;

/** loadKey and parseCertificate with certificates and key stores made by python and openssl. */
public class KeyTest {
    private static Path dir;
    // file -> attribute -> text an independent X.509 reader found
    private static final Map<String, Map<String, String>> expected = new HashMap<>();

    @BeforeClass
    public static void setUp() throws Exception {
        assertTrue(VID2Ozuved.init(null));
        dir = TestSupport.workDir("keys");
        python("make_certs.py", dir.toString());
        for (String line : Files.readAllLines(dir.resolve("expected.tsv"), StandardCharsets.UTF_8)) {
            String[] f = line.split("\t", 3);
            expected.computeIfAbsent(f[0], k -> new HashMap<>()).put(f[1], f[2]);
        }
        python("make_ticket.py", "cert", dir.resolve("issuer").toString(), "--cn", "Java Issuer");
        run("openssl", "pkcs12", "-export", "-passout", "pass:s3cret", "-inkey", dir.resolve("issuer.key").toString(),
                "-in", dir.resolve("issuer.pem").toString(), "-out", dir.resolve("issuer.p12").toString());
    }

    @Test
    public void attributesAgreeWithAnIndependentReader() throws Exception {
        for (String file : new String[] {"0.der", "1.der"}) {
            Map<String, String> want = expected.get(file);
            byte[] der = read(dir.resolve(file));
            String subject = VID2Ozuved.parseCertificate(der, 0);
            assertEquals(file, want.get("SUBJECT"), subject);
            assertEquals(file, want.get("ISSUER"), VID2Ozuved.parseCertificate(der, 1));
            assertEquals(file, want.get("SERIALNO"), VID2Ozuved.parseCertificate(der, 2));
            assertEquals(file, "subject=\"" + subject + "\";issuer=\"" + want.get("ISSUER") + "\";serialNumber=\""
                    + want.get("SERIAL") + "\";fingerprint=\"" + want.get("FINGERPRINT") + "\";keyInfo=\""
                    + want.get("KEYTYPE") + " " + want.get("KEYLENGTH") + " bits\"",
                    VID2Ozuved.parseCertificate(der, 3));
            assertEquals(file, want.get("SERIAL"), VID2Ozuved.parseCertificate(der, 4));
            assertTrue(file, VID2Ozuved.parseCertificate(der, 5).contains("("));
            assertEquals(file, want.get("FINGERPRINT"), VID2Ozuved.parseCertificate(der, 6));
            String algid = VID2Ozuved.parseCertificate(der, 7);
            assertTrue(algid, algid.endsWith(" (OID " + want.get("SIGALGOID") + ")"));
            assertTrue(file, VID2Ozuved.parseCertificate(der, 8).contains("Subject: " + subject + "\n"));
        }
        // The non-ASCII subject arrives as the same characters.
        assertEquals("CN=\u6771\u4eac \u30b5\u30fc\u30d0,O=M\u00fcller & S\u00f6hne,C=DE",
                VID2Ozuved.parseCertificate(read(dir.resolve("1.der")), 0));
    }

    @Test
    public void parseCertificateRejectsBadIdsAndBadCertificates() throws Exception {
        byte[] der = read(dir.resolve("0.der"));
        assertEquals("Invalid info request id passed: ID= 9", thrown(() -> VID2Ozuved.parseCertificate(der, 9)));
        assertEquals("Invalid info request id passed: ID= -1", thrown(() -> VID2Ozuved.parseCertificate(der, -1)));
        assertEquals("TavriParseCertificate failed: standard error= 17, ssf error= 0",
                thrown(() -> VID2Ozuved.parseCertificate(new byte[] {0x30, 0x03, 1, 2, 3}, 0)));
        assertEquals("TavriParseCertificate failed: standard error= 17, ssf error= 0",
                thrown(() -> VID2Ozuved.parseCertificate(new byte[0], 0)));
        // A null certificate is no error, whatever the id.
        assertNull(VID2Ozuved.parseCertificate(null, 0));
        assertNull(VID2Ozuved.parseCertificate(null, 9));
    }

    @Test
    public void loadKeyAcceptsEveryKindOfKeyAndReportsFailuresByItsResult() throws Exception {
        byte[] der = read(dir.resolve("issuer.der"));
        byte[] pem = read(dir.resolve("issuer.pem"));
        assertTrue(VID2Ozuved.loadKey(der, null, 0, 1));
        assertTrue(VID2Ozuved.loadKey(pem, null, 7, 1));
        assertTrue(VID2Ozuved.loadKey(der, null, 0, 4));
        assertTrue(VID2Ozuved.loadKey(read(dir.resolve("issuer.p12")), "s3cret", 0, 0));
        assertTrue(VID2Ozuved.loadKey("secret".getBytes(StandardCharsets.US_ASCII), null, 0, 2));
        assertTrue(VID2Ozuved.loadKey(Base64.getEncoder().encode(new byte[] {1, 2, 3, 4}), "pin", 0, 3));

        assertFalse(VID2Ozuved.loadKey(null, null, 0, 1));
        assertFalse(VID2Ozuved.loadKey(null, "pin", 0, 2));
        assertFalse(VID2Ozuved.loadKey(new byte[0], null, 0, 2));
        assertFalse(VID2Ozuved.loadKey(der, null, 0, 5));
        assertFalse(VID2Ozuved.loadKey(der, null, 0, -1));
        assertFalse(VID2Ozuved.loadKey(new byte[] {1, 2, 3}, null, 0, 1));
        assertFalse(VID2Ozuved.loadKey(new byte[] {1, 2, 3}, "pw", 0, 0));
    }
}
