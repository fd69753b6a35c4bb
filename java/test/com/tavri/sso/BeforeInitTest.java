package com.tavri.sso;

import static com.tavri.sso.TestSupport.thrown;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import org.junit.Test;

/** What the natives do before init, and init through the SSF_LIB property. */
public class BeforeInitTest {
    @Test
    public void onlyVersionAndPropertiesWorkBeforeInit() throws Exception {
        assertEquals("QORJWT 1", VID2Ozuved.getVersion());
        byte[] der = {0x30, 0x00};
        assertEquals("TavriParseCertificate failed: standard error= 9, ssf error= 0",
                thrown(() -> VID2Ozuved.parseCertificate(der, 0)));
        assertFalse(VID2Ozuved.loadKey("secret".getBytes(), null, 0, 2));

        assertTrue(VID2Ozuved.setProperty("SSF_LIB", "libmine.so"));
        assertEquals("libmine.so", VID2Ozuved.getProperty("SSF_LIB"));
        assertTrue(VID2Ozuved.init(null));
        assertTrue(VID2Ozuved.loadKey("secret".getBytes(), null, 0, 2));
    }
}
