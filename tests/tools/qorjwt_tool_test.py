#!/usr/bin/python3
"""The qorjwt tool on tickets, tokens and key stores made by the outside
test signers (make_ticket.py, make_jwt.py, the openssl tool): fields, exit
codes (0 valid, 1 rejected, 2 usage or I/O), and --json agreeing with text."""
import json
import os
import shutil
import subprocess
import sys
import tempfile

TOOL, TOOLS = sys.argv[1], os.path.dirname(os.path.abspath(__file__))
failures = []


def run(*args, stdin=None):
    p = subprocess.run([TOOL, *args], input=stdin, capture_output=True, text=True)
    if p.returncode < 0 or p.returncode > 2:
        failures.append(f"{args}: exit {p.returncode}\n{p.stderr}")
    return p


def check(cond, what):
    if not cond:
        failures.append(what)


def as_json(*args, stdin=None):
    p = run("--json", *args, stdin=stdin)
    try:
        return p.returncode, json.loads(p.stdout) if p.stdout else {}
    except json.JSONDecodeError as e:
        failures.append(f"{args}: output is not JSON ({e}): {p.stdout[:200]}")
        return p.returncode, {}


def py(script, *args, stdin=None):
    return subprocess.run(["/usr/bin/python3", os.path.join(TOOLS, script), *args], input=stdin,
                          capture_output=True, text=True, check=True).stdout


def ok(*cmd):
    """Whether an outside tool (openssl, keytool) exits with 0."""
    return subprocess.run(cmd, capture_output=True).returncode == 0


with tempfile.TemporaryDirectory() as d:
    f = lambda name: os.path.join(d, name)
    write = lambda name, text: open(f(name), "w").write(text)
    # Logon tickets from an outside issuer.
    py("make_ticket.py", "cert", f("iss"), "--cn", "Outside Issuer")
    py("make_ticket.py", "cert", f("other"), "--cn", "Someone Else")
    issue = lambda *more: py("make_ticket.py", "ticket", "--key", f("iss.key"), "--cert", f("iss.pem"),
                             "--user", "JDOE", "--sysid", "ISS", "--client", "100", *more).strip()
    ticket = issue("--lang", "E", "--portal", "portal:john.doe", "--hours", "8")
    write("t.txt", ticket)
    rc, out = as_json("ticket", "inspect", f("t.txt"))
    check(rc == 0, f"inspect exit {rc}")
    units = out.get("infounits", {})
    check(units.get("user_name") == "JDOE" and units.get("creator_system_id") == "ISS" and
          units.get("creator_client") == "100" and units.get("portal_user_name") == "portal:john.doe",
          f"inspect units {units}")
    check(out.get("validity", {}).get("hours") == 8, f"inspect validity {out.get('validity')}")
    check("Outside Issuer" in out.get("signer", {}).get("issuer", ""), f"inspect signer {out.get('signer')}")
    text = run("ticket", "inspect", "-", stdin=ticket).stdout
    check("user name:" in text and "JDOE" in text, "inspect text output from standard input")

    rc, out = as_json("ticket", "verify", "--cert", f("iss.pem"), f("t.txt"))
    t = out.get("ticket", {})
    check(rc == 0 and t.get("user") == "JDOE" and t.get("system_id") == "ISS" and
          t.get("client") == "100" and t.get("portal_user") == "john.doe" and t.get("type") == "logon",
          f"verify {rc} {out}")
    check(0 < t.get("remaining_validity_seconds", 0) <= 8 * 3600, f"validity {t}")
    check(out.get("result", {}).get("code") == 0, "verify result code")

    rc, out = as_json("ticket", "verify", "--cert", f("other.pem"), f("t.txt"))
    r = out.get("result", {})
    check(rc == 1 and r.get("code", 0) != 0 and "ssf_error_name" in r and out.get("exit_code") == 1,
          f"wrong signer {rc} {r}")
    # Each half carries its own name and sentence, the low half from its own table.
    check(r.get("code") == r.get("ssf_error", 0) * 65536 + r.get("standard_error", 0) and
          r.get("ssf_error_name", "").startswith("SSF_API_") and r.get("ssf_error_meaning") and
          r.get("standard_error_name") and r.get("standard_error_meaning") and r.get("cause"),
          f"halves named {r}")
    check(run("ticket", "verify", "--cert", f("iss.pem"), "-", stdin=issue("--flip-bit", "60")).returncode == 1,
          "tampered ticket is rejected")
    rc, out = as_json("ticket", "verify", "--cert", f("iss.pem"), "-", stdin=issue("--hours", "1", "--age", "120"))
    ev = out.get("evidence", {})
    check(rc == 1 and out["result"]["code"] == 4 and
          ev.get("valid_until", {}).get("epoch", 0) - ev.get("created", {}).get("epoch", 0) == 3600 and
          ev.get("now", {}).get("epoch", 0) >= ev["valid_until"]["epoch"] + 3600,
          f"expired ticket shows created, valid until and now: {out}")

    # A rejection shows the ticket's signer beside the trusted certificates.
    rc, out = as_json("ticket", "verify", "--cert", f("other.pem"), f("t.txt"))
    ev = out.get("evidence", {})
    check(rc == 1 and ev.get("ticket_signer_issuer", "").find("Outside Issuer") >= 0 and
          [c["subject"] for c in ev.get("trusted_certificates", [])] == ["CN=Someone Else"],
          f"unknown signer evidence {out}")
    # Files of the wrong kind are named, with what the option wants.
    for args, said in ((["--cert", f("iss.key")], "iss.key is a private key; --cert wants a certificate"),
                       (["--keystore", f("iss.pem")], "iss.pem is a certificate; --keystore wants a key store")):
        p = run("ticket", "verify", *args, f("t.txt"))
        check(p.returncode == 2 and said in p.stderr, f"{args}: {p.stderr!r}")

    # Key stores: made by the tool, and by the openssl tool.
    write("pin", "s3cret\n")
    rc, out = as_json("keystore", "create", f("own.p12"), "--pin-file", f("pin"),
                      "--subject", "/CN=DMO/O=Demo", "--key-type", "ec")
    check(rc == 0 and out.get("keystore", {}).get("private_key") == "EC", f"create {out}")
    check(ok("openssl", "pkcs12", "-in", f("own.p12"), "-passin", "pass:s3cret", "-nokeys", "-out", f("own.pem")),
          "openssl reads the key store")
    rc, out = as_json("keystore", "add-cert", f("own.p12"), f("iss.pem"), "--pin-file", f("pin"))
    trusted = out.get("trusted", {}).get("certificates")
    check(rc == 0 and isinstance(trusted, list) and len(trusted) == 1 and
          "Outside Issuer" in trusted[0].get("subject", ""), f"add-cert {out}")
    # Java's keytool sees the added certificate as a trusted certificate entry.
    p = subprocess.run(["keytool", "-list", "-keystore", f("own.p12"), "-storetype", "PKCS12",
                        "-storepass", "s3cret"], capture_output=True, text=True)
    check(p.returncode == 0 and p.stdout.count("trustedCertEntry") == 1 and
          p.stdout.count("PrivateKeyEntry") == 1, f"keytool -list {p.stdout} {p.stderr}")
    # A key store as CAs hand them out (key, certificate and the CA chain):
    # the chain certificate is shown as chain, not as trusted.
    check(ok("openssl", "pkcs12", "-export", "-inkey", f("iss.key"), "-in", f("iss.pem"), "-certfile", f("own.pem"),
             "-passout", "pass:s3cret", "-out", f("chain.p12")), "openssl writes a key store with a chain")
    rc, out = as_json("keystore", "show", f("chain.p12"), "--pin-file", f("pin"))
    chain = out.get("chain", {}).get("certificates", [])
    check(rc == 0 and out.get("trusted", {}).get("certificates") == [] and len(chain) == 1 and
          "DMO" in chain[0].get("subject", ""), f"chain shown apart from trusted: {out}")
    write("bad", "wrong\n")
    p = run("keystore", "show", f("own.p12"), "--pin-file", f("bad"))
    check(p.returncode == 2 and p.stderr.count("\n") == 1, f"wrong PIN: {p.returncode} {p.stderr!r}")

    # Assertion tickets issued by the tool verify with its own key store.
    tool_issue = lambda store, *more: as_json("ticket", "issue", "--keystore", store, "--pin-file", f("pin"),
                                              "--sysid", "RCP", "--client", "001", "--user", "JDOE", *more)
    rc, out = tool_issue(f("own.p12"), "-o", f("a.txt"))
    check(rc == 0 and len(open(f("a.txt")).read()) == out.get("ticket", {}).get("length"), f"issue {out}")
    rc, out = as_json("ticket", "verify", "--cert", f("own.pem"), "--assertion", "--sysid", "RCP",
                      "--client", "001", f("a.txt"))
    check(rc == 0 and out.get("ticket", {}).get("type") == "assertion", f"assertion {out}")
    rc, out = as_json("ticket", "verify", "--cert", f("own.pem"), "--assertion", "--sysid", "RCP",
                      "--client", "002", f("a.txt"))
    check(rc == 1 and out["result"]["code"] == 24 and out["evidence"]["ticket_recipient_client"] == "001" and
          out["evidence"]["expected_client"] == "002", f"assertion for another client {out}")

    # Tokens from an outside signer.
    hexs = lambda s: s.encode().hex()
    body = '{"sub":"alice","iss":"idp","aud":"app","jti":"j1","iat":1700000000,"exp":4102444800}'
    hs_head, rs_head = hexs('{"alg":"HS256"}'), hexs('{"alg":"RS256","kid":"k1"}')
    requests = (f"HS256 secret:{hexs('k' * 32)} {hs_head} {hexs(body)}\n"
                f"RS256 rsa:r:2048 {rs_head} {hexs(body)}\n")
    lines = py("make_jwt.py", stdin=requests).split("\n")
    tokens = [l.split(" ", 1)[1] for l in lines if l.startswith("token ")]
    cert = next(l.split()[3] for l in lines if l.startswith("key r cert"))
    write("secret", "k" * 32)
    open(f("rs.der"), "wb").write(bytes.fromhex(cert))
    rc, out = as_json("jwt", "verify", "--secret-file", f("secret"), "--sub", "alice", "-", stdin=tokens[0])
    check(rc == 0 and out["claims"]["sub"] == "alice" and out["header"]["alg"] == "HS256" and
          out["claims"]["exp"] == 4102444800 and out["times"]["exp"]["iso"] == "2100-01-01T00:00:00Z" and
          out["token"]["verified"] is True, f"HS256 {out}")
    rc, out = as_json("jwt", "verify", "--cert", f("rs.der"), "-", stdin=tokens[1])
    check(rc == 0 and out["header"]["kid"] == "k1" and out["claims"]["iss"] == "idp", f"RS256 {out}")
    rc, out = as_json("jwt", "verify", "--secret-file", f("secret"), "--sub", "bob", "-", stdin=tokens[0])
    # A rejected token still shows what it carries, as evidence.
    check(rc == 1 and out["result"]["error"] and out["claims"]["sub"] == "alice" and
          out["token"]["verified"] is False and out["exit_code"] == 1, f"sub mismatch {out}")
    p = run("jwt", "verify", "--secret-file", f("rs.der"), "-", stdin=tokens[0])
    check(p.returncode == 2 and "rs.der is a certificate; --secret-file wants an HMAC secret" in p.stderr,
          f"a certificate as HMAC secret is named as such: {p.stderr!r}")
    # A JWK Set: the token's "kid" chooses the key.
    es_head = hexs('{"kid":"e1"}')
    lines = py("make_jws.py", stdin=f"ES256 e:p256 {es_head} {hexs(body)}\n").split("\n")
    es_token = next(l.split(" ", 1)[1] for l in lines if l.startswith("token "))
    jwk = json.loads(bytes.fromhex(next(l.split()[3] for l in lines if l.startswith("key e jwk"))))
    for kid, code in (("e1", 0), ("e2", 1)):
        write("jwks.json", json.dumps({"keys": [dict(jwk, kid=kid)]}))
        p = run("--json", "jwt", "verify", "--jwks", f("jwks.json"), "-", stdin=es_token)
        check(p.returncode == code and json.loads(p.stdout)["header"]["alg"] == "ES256", f"jwks {kid} {p.stdout}")

    # Tokens from PyJWT: read without a key, Base64 secret, the user claim.
    import base64
    import jwt as pyjwt
    secret = b"p" * 32
    pj = pyjwt.encode({"sub": "carol", "user_name": "CAROL", "exp": 4102444800, "roles": ["a", "b"]},
                      secret, algorithm="HS256", headers={"kid": "k9"})
    write("pj.txt", pj + "\n")
    rc, out = as_json("jwt", "inspect", f("pj.txt"))
    check(rc == 0 and out["token"]["verified"] is False and "unverified" in out["token"]["note"] and
          out["header"]["kid"] == "k9" and out["claims"]["roles"] == ["a", "b"] and
          out["times"]["exp"]["epoch"] == 4102444800, f"jwt inspect {out}")
    check("unverified" in run("jwt", "inspect", f("pj.txt")).stdout, "jwt inspect says unverified")
    write("secret.b64", base64.b64encode(secret).decode() + "\n")
    rc, out = as_json("jwt", "verify", "--secret-b64", f("secret.b64"), "--claim", "user_name", f("pj.txt"))
    check(rc == 0 and out["token"]["claim_value"] == "CAROL", f"--secret-b64 --claim {out}")
    rc, out = as_json("jwt", "verify", "--secret-b64", f("secret"), f("pj.txt"))
    check(rc != 0, f"a raw secret read as Base64 does not verify {rc} {out}")
    expired = pyjwt.encode({"sub": "carol", "exp": 1000}, secret, algorithm="HS256")
    rc, out = as_json("jwt", "verify", "--secret-b64", f("secret.b64"), "-", stdin=expired)
    check(rc == 1 and out["times"]["exp"]["epoch"] == 1000 and "now" in out["times"],
          f"expired token shows its times {out}")
    # Claims that are not UTF-8 come out escaped, and the output stays valid JSON.
    b64u = lambda b: base64.urlsafe_b64encode(b).rstrip(b"=").decode()
    bad = b64u(b'{"alg":"HS256"}') + "." + b64u(b'{"sub":"\xff\xfeok"}') + ".c2ln"
    p = subprocess.run([TOOL, "--json", "jwt", "inspect", "-"], input=bad.encode(), capture_output=True)
    try:
        out = json.loads(p.stdout.decode("utf-8", errors="strict"))
        check("\\xFF\\xFEok" in out["claims"]["text"], f"escaped bytes {out}")
    except (UnicodeDecodeError, json.JSONDecodeError, KeyError) as e:
        failures.append(f"non-UTF-8 claims: {e}: {p.stdout[:200]!r}")

    # --json anywhere on the line; errors as a JSON object with the exit code.
    p = run("jwt", "inspect", f("pj.txt"), "--json")
    check(p.returncode == 0 and json.loads(p.stdout)["claims"]["sub"] == "carol", "--json after the subcommand")
    for args in (["ticket", "inspect", f("missing"), "--json"], ["--json", "no-such-command"],
                 ["--json", "jwt", "verify", f("pj.txt")]):
        p = run(*args)
        try:
            out = json.loads(p.stdout)
            check(p.returncode == 2 and out["exit_code"] == 2 and out["error"]["message"], f"{args}: {out}")
        except json.JSONDecodeError:
            failures.append(f"{args}: error is not JSON: {p.stdout!r} {p.stderr!r}")
    check(run("--version").stdout.startswith("qorjwt "), "--version")

    # Issuing: digest (SHA-256 unless told), own identity, certificate inclusion.
    rc, out = tool_issue(f("own.p12"), "--own-sysid", "OWN", "--own-client", "042")
    text = out.get("ticket", {}).get("text", "")
    ins = json.loads(run("--json", "ticket", "inspect", "-", stdin=text).stdout)
    check(ins["signer"]["digest"] == "sha256" and ins["signer"]["certificates"] == [] and
          ins["infounits"]["creator_system_id"] == "OWN" and ins["infounits"]["creator_client"] == "042",
          f"issue defaults {ins}")
    rc, out = tool_issue(f("own.p12"), "--hash", "SHA1", "--include-cert")
    ins = json.loads(run("--json", "ticket", "inspect", "-", stdin=out["ticket"]["text"]).stdout)
    check(ins["signer"]["digest"] == "sha1" and len(ins["signer"]["certificates"]) == 1,
          f"issue --hash SHA1 --include-cert {ins}")

    # Key stores are not replaced unasked; one without a PIN is written with a warning.
    p = run("keystore", "create", f("own.p12"), "--pin-file", f("pin"))
    check(p.returncode == 2 and "--force" in p.stderr, f"create over an existing store: {p.stderr}")
    rc, out = as_json("keystore", "show", f("own.p12"), "--pin-file", f("pin"))
    check(len(out.get("trusted", {}).get("certificates", [])) == 1, "existing store kept its trusted certificate")
    p = run("keystore", "create", f("own.p12"), "--pin-file", f("pin"), "--force", "--key-type", "ec")
    check(p.returncode == 0, f"create --force {p.stderr}")
    p = run("keystore", "create", f("nopin.p12"))
    check(p.returncode == 0 and "without a PIN" in p.stderr, f"no-PIN warning {p.stderr!r}")

    # Legacy key stores (RC2-40 certificates): openssl -legacy, and keytool where there is one.
    legacy = [f("legacy.p12")]
    check(ok("openssl", "pkcs12", "-export", "-legacy", "-inkey", f("iss.key"), "-in", f("iss.pem"),
             "-passout", "pass:s3cret", "-out", f("legacy.p12")), "openssl writes a legacy key store")
    if shutil.which("keytool") and ok("keytool", "-genkeypair", "-J-Dkeystore.pkcs12.legacy", "-storetype", "PKCS12",
                                      "-keystore", f("kt.p12"), "-storepass", "s3cret", "-keypass", "s3cret",
                                      "-alias", "own", "-keyalg", "EC", "-groupname", "secp256r1",
                                      "-dname", "CN=KeyTool", "-validity", "30"):
        legacy.append(f("kt.p12"))
    for store in legacy:
        rc, out = as_json("keystore", "show", store, "--pin-file", f("pin"))
        check(rc == 0 and "legacy" in out.get("keystore", {}).get("format", "") and
              out["keystore"]["private_key"] in ("RSA", "EC"), f"{store}: show {out}")
        rc, out = tool_issue(store, "-o", f("lt.txt"))
        check(rc == 0 and "RC2" in out.get("keystore", {}).get("format", ""), f"{store}: issue {out}")
        rc, out = as_json("ticket", "verify", "--keystore", store, "--pin-file", f("pin"), "--assertion",
                          "--sysid", "RCP", "--client", "001", f("lt.txt"))
        check(rc == 0 and out["ticket"]["user"] == "JDOE", f"{store}: verify {out}")
        p = run("keystore", "show", store, "--pin-file", f("bad"))
        check(p.returncode == 2 and "wrong PIN" in p.stderr, f"{store}: wrong PIN {p.stderr!r}")

    # Bash completion reads subcommands and options from the tool's help.
    completion = os.path.join(TOOLS, "..", "..", "tools", "qorjwt", "qorjwt.bash-completion")
    script = ('source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); _qorjwt; '
              'echo "${COMPREPLY[*]}"')
    complete = lambda *words: subprocess.run(["bash", "-c", script, "-", completion, TOOL, *words],
                                             capture_output=True, text=True).stdout.split()
    check(complete("") == ["ticket", "jwt", "cert", "keystore"], f"completion top {complete('')}")
    check(complete("jwt", "") == ["inspect", "verify"], f"completion jwt {complete('jwt', '')}")
    check({"--secret-b64", "--jwks", "--claim", "--json"} <= set(complete("jwt", "verify", "--")),
          "completion of jwt verify options")
    check("SHA256" in complete("ticket", "issue", "--hash", ""), "completion of --hash")

    # Certificates, against the openssl tool.
    rc, out = as_json("cert", "show", f("iss.pem"))
    serial = subprocess.run(["openssl", "x509", "-in", f("iss.pem"), "-noout", "-serial"],
                            capture_output=True, text=True).stdout.strip().split("=")[1]
    got = out.get("certificate", {}).get("serialno", "").replace(":", "").lstrip("0")
    check(rc == 0 and got == serial.lstrip("0"), f"serial {got} vs {serial}")
    check("Outside Issuer" in out.get("certificate", {}).get("subject", ""), f"subject {out}")

    # Bad input: one line on standard error, exit 2, never a crash.
    open(f("junk"), "wb").write(os.urandom(300))
    write("short", ticket[:40])
    for args in (["ticket", "inspect", f("missing")], ["ticket", "inspect", f("short")],
                 ["ticket", "inspect", f("junk")], ["cert", "show", f("junk")],
                 ["keystore", "show", f("junk")], ["ticket", "verify", "--cert", f("junk"), f("t.txt")],
                 ["jwt", "verify", "--secret-file", f("missing"), f("t.txt")],
                 ["ticket", "verify", f("t.txt")], ["no-such-command"]):
        p = run(*args)
        check(p.returncode == 2, f"{args}: exit {p.returncode}")
        check(p.returncode != 2 or p.stderr.strip() != "", f"{args}: no message")
    check(run("ticket", "verify", "--help").returncode == 0, "--help")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("tool checks passed")
