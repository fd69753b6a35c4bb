package com.tavri.sso;

import static com.tavri.sso.TestSupport.assertElements;
import static com.tavri.sso.TestSupport.onThreads;
import static com.tavri.sso.TestSupport.python;
import static com.tavri.sso.TestSupport.read;
import static com.tavri.sso.TestSupport.thrown;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.security.KeyFactory;
import java.security.KeyPair;
import java.security.KeyPairGenerator;
import java.security.PrivateKey;
import java.security.Signature;
import java.security.spec.PKCS8EncodedKeySpec;
import java.util.Base64;
import javax.crypto.Mac;
import javax.crypto.spec.SecretKeySpec;
import org.junit.Before;
import org.junit.BeforeClass;
import org.junit.Test;

/** JWT evaluation from Java, on tokens signed by the JDK's own HMAC and RSA. */
public class JwtTest {
    private static final byte[] SECRET = "a shared secret of the token issuer".getBytes(StandardCharsets.US_ASCII);
    private static Path dir;

    @BeforeClass
    public static void setUp() throws Exception {
        assertTrue(VID2Ozuved.init(null));
        dir = TestSupport.workDir("jwt");
        python("make_ticket.py", "cert", dir.resolve("rs").toString(), "--cn", "Java Token Issuer");
    }

    @Before
    public void loadSecret() {
        assertTrue(VID2Ozuved.loadKey(SECRET, null, 0, 2));
    }

    static String b64(byte[] b) {
        return Base64.getUrlEncoder().withoutPadding().encodeToString(b);
    }

    static String b64(String s) {
        return b64(s.getBytes(StandardCharsets.UTF_8));
    }

    static String hmacToken(String alg, String body, byte[] secret) throws Exception {
        String input = b64("{\"alg\":\"" + alg + "\",\"typ\":\"JWT\"}") + "." + b64(body);
        String mac = "Hmac" + alg.replace("HS", "SHA");
        Mac m = Mac.getInstance(mac);
        m.init(new SecretKeySpec(secret, mac));
        return input + "." + b64(m.doFinal(input.getBytes(StandardCharsets.US_ASCII)));
    }

    static String rsaToken(String body) throws Exception {
        String pem = new String(read(dir.resolve("rs.key")), StandardCharsets.US_ASCII);
        String b64 = pem.replaceAll("-----[A-Z ]+-----", "").replaceAll("\\s", "");
        PrivateKey key = KeyFactory.getInstance("RSA")
                .generatePrivate(new PKCS8EncodedKeySpec(Base64.getDecoder().decode(b64)));
        String input = b64("{\"alg\":\"RS256\",\"typ\":\"JWT\"}") + "." + b64(body);
        Signature s = Signature.getInstance("SHA256withRSA");
        s.initSign(key);
        s.update(input.getBytes(StandardCharsets.US_ASCII));
        return input + "." + b64(s.sign());
    }

    static long now() {
        return System.currentTimeMillis() / 1000;
    }

    static String failed(String description) {
        return "TavriEvalJWToken failed: standard error= 5, description= " + description;
    }

    @Test
    public void hmacTokensGivePayloadAndUser() throws Exception {
        String body = "{\"sub\":\"jdoe\",\"user_name\":\"JDOE\",\"exp\":" + (now() + 600) + "}";
        for (String alg : new String[] {"HS256", "HS384", "HS512"}) {
            String t = hmacToken(alg, body, SECRET);
            assertElements(new Object[] {body, "JDOE"}, VID2Ozuved.evalJWToken(t, "user_name"));
            assertElements(new Object[] {body, ""}, VID2Ozuved.evalJWToken(t, null));
            // The registered three-letter claims are never the user attribute.
            assertEquals(failed("JWT is without name id attribute"), thrown(() -> VID2Ozuved.evalJWToken(t, "sub")));
        }
    }

    @Test
    public void textsBeyondTheBasicPlane() throws Exception {
        String body = "{\"user_name\":\"J\u00fcrgen \ud83d\ude00\"}";
        assertElements(new Object[] {body, "J\u00fcrgen \ud83d\ude00"},
                VID2Ozuved.evalJWToken(hmacToken("HS256", body, SECRET), "user_name"));
    }

    @Test
    public void userValuesOfAHundredAndTwentyEightBytesAreNotReturned() throws Exception {
        String u127 = "u".repeat(127);
        String body127 = "{\"uid\":\"" + u127 + "\"}";
        assertElements(new Object[] {body127, u127}, VID2Ozuved.evalJWToken(hmacToken("HS256", body127, SECRET), "uid"));
        String body128 = "{\"uid\":\"" + u127 + "x\"}";
        assertElements(new Object[] {body128, ""}, VID2Ozuved.evalJWToken(hmacToken("HS256", body128, SECRET), "uid"));
    }

    @Test
    public void rsaTokenWithTheLoadedCertificate() throws Exception {
        assertTrue(VID2Ozuved.loadKey(read(dir.resolve("rs.der")), null, 0, 1));
        String body = "{\"sub\":\"rs\",\"user_name\":\"RSU\",\"iat\":" + now() + "}";
        assertElements(new Object[] {body, "RSU"}, VID2Ozuved.evalJWToken(rsaToken(body), "user_name"));
        String t = rsaToken(body);
        String forged = t.substring(0, t.lastIndexOf('.') + 1) + b64("not the signature");
        assertEquals(failed("JWT signature validation failed"), thrown(() -> VID2Ozuved.evalJWToken(forged, null)));
        // An HMAC token does not verify with a certificate loaded.
        assertEquals(failed("JWT signature validation failed"),
                thrown(() -> VID2Ozuved.evalJWToken(hmacToken("HS256", body, SECRET), null)));
    }

    @Test
    public void jwkSetLoadedWithTypeFiveChoosesByKid() throws Exception {
        // An Ed25519 signer of the JDK; its public key's last 32 bytes are the JWK's "x".
        KeyPair pair = KeyPairGenerator.getInstance("Ed25519").generateKeyPair();
        byte[] spki = pair.getPublic().getEncoded();
        byte[] x = java.util.Arrays.copyOfRange(spki, spki.length - 32, spki.length);
        String jwks = "{\"keys\":[{\"kty\":\"OKP\",\"crv\":\"Ed25519\",\"kid\":\"ed1\",\"x\":\"" + b64(x) + "\"}]}";
        String body = "{\"sub\":\"ed\",\"user_name\":\"EDU\"}";
        String input = b64("{\"alg\":\"EdDSA\",\"kid\":\"ed1\"}") + "." + b64(body);
        Signature s = Signature.getInstance("Ed25519");
        s.initSign(pair.getPrivate());
        s.update(input.getBytes(StandardCharsets.US_ASCII));
        String token = input + "." + b64(s.sign());
        assertTrue(VID2Ozuved.loadKey(jwks.getBytes(StandardCharsets.US_ASCII), null, 0, 5));
        assertElements(new Object[] {body, "EDU"}, VID2Ozuved.evalJWToken(token, "user_name"));
        assertEquals(failed("JWT key id not found in the JWK Set"),
                thrown(() -> VID2Ozuved.evalJWToken(token.replaceFirst("^[^.]+", b64("{\"alg\":\"EdDSA\",\"kid\":\"ed2\"}")), null)));
        // A set without a usable key is refused, and the set before it is gone.
        assertTrue(!VID2Ozuved.loadKey("{\"keys\":[]}".getBytes(StandardCharsets.US_ASCII), null, 0, 5));
        assertEquals(failed("JWT signature validation failed"), thrown(() -> VID2Ozuved.evalJWToken(token, null)));
    }

    @Test
    public void failuresCarryTheDescription() throws Exception {
        long now = now();
        assertEquals(failed("JWT is without name id attribute"),
                thrown(() -> VID2Ozuved.evalJWToken(hmacToken("HS256", "{\"sub\":\"x\"}", SECRET), "user_name")));
        assertEquals(failed("JWT signature validation failed"),
                thrown(() -> VID2Ozuved.evalJWToken(hmacToken("HS256", "{\"sub\":\"x\"}", "other".getBytes()), null)));
        assertEquals(failed("JWT is expired"),
                thrown(() -> VID2Ozuved.evalJWToken(hmacToken("HS256", "{\"exp\":" + (now - 5) + "}", SECRET), null)));
        assertEquals(failed("JWT is not valid yet"),
                thrown(() -> VID2Ozuved.evalJWToken(hmacToken("HS256", "{\"nbf\":" + (now + 600) + "}", SECRET), null)));
        assertEquals(failed("Invalid JWT received"), thrown(() -> VID2Ozuved.evalJWToken("abc", null)));
        assertEquals("TavriEvalJWToken failed: standard error= 15, description= Missing input buffer pointer for JWT.",
                thrown(() -> VID2Ozuved.evalJWToken("", null)));
    }

    @Test
    public void nullArguments() throws Exception {
        assertEquals("No JWT set. JWT pointer=(nil)", thrown(() -> VID2Ozuved.evalJWToken(null, null)));
        assertEquals("No JWT set. JWT pointer=(nil)", thrown(() -> VID2Ozuved.evalJWToken(null, "sub")));
    }

    @Test
    public void eightThreadsEvaluateAtOnce() throws Exception {
        onThreads(8, i -> {
            final String user = "user" + i;
            final String body = "{\"user_name\":\"" + user + "\",\"exp\":" + (now() + 600) + "}";
            String t = hmacToken("HS256", body, SECRET);
            for (int k = 0; k < 50; ++k) {
                assertElements(new Object[] {body, user}, VID2Ozuved.evalJWToken(t, "user_name"));
            }
        });
    }
}
