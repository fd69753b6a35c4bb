/**
 * The methods of com.tavri.sso.VID2Ozuved under the short class name, for
 * applications that call the binding from the default package.
 */
public final class VID2Ozuved {
    static {
        com.tavri.sso.NativeLibrary.load();
    }

    private VID2Ozuved() {
    }

    public static native boolean init(String jseclib) throws Exception;

    public static native String getVersion();

    public static native Object[] evalLogonTicket(String jticket, String jpab, String jpab_password)
            throws Exception;

    public static native Object[] evalAssertionTicket(String jticket, String jpab, String jpab_password,
            String jmy_sysid, String jmy_client) throws Exception;

    public static native Object[] evalJWToken(String jticket, String juser) throws Exception;

    public static native String createAssertionTicket(String jmy_sysid, String jmy_client, String jpab,
            String jpab_password, String jex_sysid, String jex_client, String juser, String jlang,
            String jportal_user, String jauth_schema) throws Exception;

    public static native String getProperty(String jproperty);

    public static native boolean setProperty(String jproperty, String jvalue);

    public static native boolean loadKey(byte[] keyfile, String key_password, int jindex, int jtype);

    public static native String parseCertificate(byte[] cert, int info_id) throws Exception;
}
