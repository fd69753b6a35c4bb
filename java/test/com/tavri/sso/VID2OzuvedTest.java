package com.tavri.sso;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import org.junit.BeforeClass;
import org.junit.Test;

/** The natives of com.tavri.sso.VID2Ozuved in an initialised library. */
public class VID2OzuvedTest {
    @BeforeClass
    public static void initialise() throws Exception {
        // ctest starts the JVM without SSF_LIB, so the default library is taken.
        assertNull(System.getenv("SSF_LIB"));
        assertTrue(VID2Ozuved.init(null));
    }

    @Test
    public void initTwiceSucceedsAndIgnoresTheName() throws Exception {
        assertTrue(VID2Ozuved.init("libother.so"));
        assertTrue(VID2Ozuved.init(null));
    }

    @Test
    public void versionIsQorjwtOne() {
        assertEquals("QORJWT 1", VID2Ozuved.getVersion());
    }

    @Test
    public void propertiesRoundTrip() {
        assertTrue(VID2Ozuved.setProperty("QOR_EXT_TRL", "3"));
        assertEquals("3", VID2Ozuved.getProperty("QOR_EXT_TRL"));
        assertTrue(VID2Ozuved.setProperty("QOR_EXT_TRL", "0"));
        assertEquals("0", VID2Ozuved.getProperty("QOR_EXT_TRL"));

        // Non-ASCII text goes in and comes back as the same characters.
        assertTrue(VID2Ozuved.setProperty("QOR_EXT_SYSID", "\u00c4\u00d6\u00dc"));
        assertEquals("\u00c4\u00d6\u00dc", VID2Ozuved.getProperty("QOR_EXT_SYSID"));
        // A null value restores the default.
        assertTrue(VID2Ozuved.setProperty("QOR_EXT_SYSID", null));
        assertEquals("EXT", VID2Ozuved.getProperty("QOR_EXT_SYSID"));
        // Nine bytes do not fit: the setter succeeds and leaves the value empty.
        assertTrue(VID2Ozuved.setProperty("QOR_OWN_CLIENT", "1234"));
        assertEquals("", VID2Ozuved.getProperty("QOR_OWN_CLIENT"));
        assertTrue(VID2Ozuved.setProperty("QOR_OWN_CLIENT", ""));
        assertEquals("000", VID2Ozuved.getProperty("QOR_OWN_CLIENT"));
    }

    @Test
    public void unknownAndNullPropertyNames() {
        assertFalse(VID2Ozuved.setProperty(null, "3"));
        assertFalse(VID2Ozuved.setProperty(null, null));
        assertFalse(VID2Ozuved.setProperty("qor_ext_trl", "3"));
        assertNull(VID2Ozuved.getProperty("NO_SUCH_PROPERTY"));
        assertEquals("QOR_EXT_TRC;QOR_EXT_TRL;QOR_EXT_SYSID;QOR_EXT_CLIENT;QOR_OWN_SYSID;QOR_OWN_CLIENT;"
                + "QOR_EXT_CODEPAGE;SSF_LIB;SSF_HASH;SSF_INCLUDE_CERT", VID2Ozuved.getProperty(null));
    }

    @Test
    public void nullArgumentsOfEveryKind() throws Exception {
        assertTrue(VID2Ozuved.init(null));
        assertFalse(VID2Ozuved.setProperty(null, null));
        assertTrue(VID2Ozuved.setProperty("QOR_EXT_TRL", null));
        assertFalse(VID2Ozuved.loadKey(null, null, 0, 0));
        assertFalse(VID2Ozuved.loadKey(null, "pin", -1, 2));
        assertNull(VID2Ozuved.parseCertificate(null, 0));
        assertEquals("At least one NULL parameter passed. ticket=(nil),PAB=(nil)",
                TestSupport.thrown(() -> VID2Ozuved.evalLogonTicket(null, null, null)));
        assertEquals("No SysId set",
                TestSupport.thrown(() -> VID2Ozuved.evalAssertionTicket(null, null, null, null, null)));
        assertEquals("No JWT set. JWT pointer=(nil)", TestSupport.thrown(() -> VID2Ozuved.evalJWToken(null, null)));
        assertEquals("Local system Id not set", TestSupport.thrown(() -> VID2Ozuved.createAssertionTicket(null, null,
                null, null, null, null, null, null, null, null)));
        // No key is loaded in this JVM.
        assertEquals("TavriEvalJWToken failed: standard error= 5, description= JWT signature validation failed",
                TestSupport.thrown(() -> VID2Ozuved.evalJWToken("eyJhbGciOiJIUzI1NiJ9.e30.", null)));
        String msg = TestSupport.thrown(() -> VID2Ozuved.evalLogonTicket("AjExMDA", null, null));
        assertTrue(msg, msg.startsWith("TavriEvalLogonTicketEx failed: standard error= "));
    }

    @Test
    public void nativesTraceTheirEntryAndExit() throws Exception {
        Path trace = Paths.get(System.getProperty("qor.work"), "binding-trace.trc");
        assertTrue(VID2Ozuved.setProperty("QOR_EXT_TRL", "3"));
        assertTrue(VID2Ozuved.setProperty("QOR_EXT_TRC", trace.toString()));
        assertEquals("3", VID2Ozuved.getProperty("QOR_EXT_TRL"));
        assertTrue(VID2Ozuved.init(null));
        assertFalse(VID2Ozuved.loadKey(null, null, 0, 1));
        assertEquals("Invalid info request id passed: ID= 10",
                TestSupport.thrown(() -> VID2Ozuved.parseCertificate(new byte[1], 10)));
        assertNull(VID2Ozuved.parseCertificate(null, 0)); // returns before its trace line
        TestSupport.thrown(() -> VID2Ozuved.evalLogonTicket(null, null, null));
        TestSupport.thrown(() -> VID2Ozuved.evalAssertionTicket(null, null, null, null, null));
        TestSupport.thrown(() -> VID2Ozuved.evalJWToken(null, null));
        TestSupport.thrown(() -> VID2Ozuved.createAssertionTicket("A", null, null, null, null, null, null, null, null,
                null));
        assertTrue(VID2Ozuved.setProperty("QOR_EXT_TRC", null));
        assertTrue(VID2Ozuved.setProperty("QOR_EXT_TRL", null));
        String text = new String(Files.readAllBytes(trace), StandardCharsets.UTF_8);
        for (String line : new String[] {"JAVA: End of setProperty (rc==0)", "JAVA: getProperty was called.",
                "JAVA: End of getProperty ", "JAVA: init was called.", "JAVA: End of init ",
                "JAVA: setProperty was called.", "JAVA: loadKey was called", "JAVA: End of loadKey",
                "JAVA: End of parseCertificate", "JAVA: evalLogonTicket was called.",
                "JAVA: evalAssertionTicket was called.", "JAVA: evalJWToken was called.", "JAVA: End of evalJWToken",
                "JAVA: createAssertionTicket was called", "JAVA: End of createAssertionTicket"}) {
            assertTrue(line, text.contains(line));
        }
        assertEquals(1, text.split("JAVA: parseCertificate was called", -1).length - 1);
        // Both ticket methods end with the logon method's line.
        assertEquals(2, text.split("JAVA: End of evalLogonTicket\n", -1).length - 1);
    }
}
