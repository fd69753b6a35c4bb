import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import org.junit.BeforeClass;
import org.junit.Test;

/** The default-package class VID2Ozuved gives what the long-named class gives. */
public class ForwarderTest {
    @BeforeClass
    public static void initialise() throws Exception {
        assertTrue(VID2Ozuved.init(""));
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
}
