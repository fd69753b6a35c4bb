package com.tavri.sso;

/**
 * Loads libqorjwt.so once per class loader. The system property
 * {@code com.tavri.sso.library} may name the file by its absolute path;
 * otherwise the library is looked up as "qorjwt" on {@code java.library.path}.
 */
public final class NativeLibrary {
    public static final String PATH_PROPERTY = "com.tavri.sso.library";

    private static boolean loaded;

    private NativeLibrary() {
    }

    public static synchronized void load() {
        if (loaded) {
            return;
        }
        String path = System.getProperty(PATH_PROPERTY);
        if (path != null && !path.isEmpty()) {
            System.load(path);
        } else {
            System.loadLibrary("qorjwt");
        }
        loaded = true;
    }
}
