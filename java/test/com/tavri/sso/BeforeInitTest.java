package com.tavri.sso;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import org.junit.Test;

/** What works before init, and init through the SSF_LIB property. */
public class BeforeInitTest {
    @Test
    public void propertiesAndVersionBeforeInitThenInitWithTheSsfLibProperty() throws Exception {
        assertEquals("QORJWT 1", VID2Ozuved.getVersion());
        assertTrue(VID2Ozuved.setProperty("SSF_LIB", "libmine.so"));
        assertEquals("libmine.so", VID2Ozuved.getProperty("SSF_LIB"));
        assertTrue(VID2Ozuved.init(null));
    }
}
