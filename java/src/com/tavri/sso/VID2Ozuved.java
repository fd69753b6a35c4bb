package com.tavri.sso;

/**
 * Single sign-on tickets and JSON Web Tokens through libqorjwt.so. Every
 * method is implemented by the library itself; failures of the ticket,
 * token and certificate methods arrive as {@link Exception} with the
 * library's message, the property and key methods report by their result.
 */
public final class VID2Ozuved {
    static {
        NativeLibrary.load();
    }

    private VID2Ozuved() {
    }

    /** Initialises the library; jseclib names the crypto library, null takes SSF_LIB. */
    public static native boolean init(String jseclib) throws Exception;

    /** "QORJWT " and the interface version. */
    public static native String getVersion();

    /**
     * Verifies a logon ticket with the key store jpab (null: the loaded key).
     * Returns user, system, client, certificate (byte[]), portal user,
     * authentication scheme, remaining seconds and ticket type.
     */
    public static native Object[] evalLogonTicket(String jticket, String jpab, String jpab_password)
            throws Exception;

    /** As evalLogonTicket, for an assertion ticket addressed to jmy_sysid/jmy_client. */
    public static native Object[] evalAssertionTicket(String jticket, String jpab, String jpab_password,
            String jmy_sysid, String jmy_client) throws Exception;

    /** Verifies a JWT with the loaded key; returns the payload JSON and the value of claim juser. */
    public static native Object[] evalJWToken(String jticket, String juser) throws Exception;

    /** Issues an assertion ticket signed with the key store jpab (null: the loaded key). */
    public static native String createAssertionTicket(String jmy_sysid, String jmy_client, String jpab,
            String jpab_password, String jex_sysid, String jex_client, String juser, String jlang,
            String jportal_user, String jauth_schema) throws Exception;

    /** Value of a property, or null; a null name gives the list of property names. */
    public static native String getProperty(String jproperty);

    /** Sets a property; true on success. */
    public static native boolean setProperty(String jproperty, String jvalue);

    /** Loads the verification key: 0 key store image, 1 and 4 certificate, 2 HMAC secret, 3 Base64 HMAC secret. */
    public static native boolean loadKey(byte[] keyfile, String key_password, int jindex, int jtype);

    /**
     * One attribute of a DER certificate: 0 SUBJECT, 1 ISSUER, 2 SERIALNO, 3 SUMMARY,
     * 4 SERIAL, 5 VALIDITY, 6 FINGERPRINT, 7 ALGID, 8 ALL.
     */
    public static native String parseCertificate(byte[] cert, int info_id) throws Exception;
}
