#!/usr/bin/python3
"""The qorjwt tool on tickets, tokens and key stores made by the outside
test signers (make_ticket.py, make_jwt.py, the openssl tool): fields, exit
codes (0 valid, 1 rejected, 2 usage or I/O), and --json agreeing with text."""
import json
import os
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


def as_json(*args):
    p = run("--json", *args)
    try:
        return p.returncode, json.loads(p.stdout) if p.stdout else {}
    except json.JSONDecodeError as e:
        failures.append(f"{args}: output is not JSON ({e}): {p.stdout[:200]}")
        return p.returncode, {}


def py(script, *args, stdin=None):
    return subprocess.run(["/usr/bin/python3", os.path.join(TOOLS, script), *args], input=stdin,
                          capture_output=True, text=True, check=True).stdout


with tempfile.TemporaryDirectory() as d:
    f = lambda name: os.path.join(d, name)
    # Logon tickets from an outside issuer.
    py("make_ticket.py", "cert", f("iss"), "--cn", "Outside Issuer")
    py("make_ticket.py", "cert", f("other"), "--cn", "Someone Else")
    ticket = py("make_ticket.py", "ticket", "--key", f("iss.key"), "--cert", f("iss.pem"),
                "--user", "JDOE", "--sysid", "ISS", "--client", "100", "--lang", "E",
                "--portal", "portal:john.doe", "--hours", "8").strip()
    open(f("t.txt"), "w").write(ticket)
    rc, out = as_json("ticket", "inspect", f("t.txt"))
    check(rc == 0, f"inspect exit {rc}")
    units = out.get("infounits", {})
    check(units.get("User name") == "JDOE" and units.get("Creator system id") == "ISS" and
          units.get("Creator client") == "100" and units.get("Portal user name") == "portal:john.doe",
          f"inspect units {units}")
    check(out.get("validity", {}).get("hours") == 8, f"inspect validity {out.get('validity')}")
    check("Outside Issuer" in out.get("signer", {}).get("issuer", ""), f"inspect signer {out.get('signer')}")
    text = run("ticket", "inspect", "-", stdin=ticket).stdout
    check("User name:" in text and "JDOE" in text, "inspect text output from standard input")

    rc, out = as_json("ticket", "verify", "--cert", f("iss.pem"), f("t.txt"))
    t = out.get("ticket", {})
    check(rc == 0 and t.get("user") == "JDOE" and t.get("system id") == "ISS" and
          t.get("client") == "100" and t.get("portal user") == "john.doe" and t.get("type") == "logon",
          f"verify {rc} {out}")
    check(0 < t.get("remaining validity seconds", 0) <= 8 * 3600, f"validity {t}")
    check(out.get("result", {}).get("code") == 0, "verify result code")

    rc, out = as_json("ticket", "verify", "--cert", f("other.pem"), f("t.txt"))
    r = out.get("result", {})
    check(rc == 1 and r.get("code", 0) != 0 and "ssf error name" in r, f"wrong signer {rc} {r}")
    tampered = py("make_ticket.py", "ticket", "--key", f("iss.key"), "--cert", f("iss.pem"),
                  "--user", "JDOE", "--sysid", "ISS", "--client", "100", "--flip-bit", "60").strip()
    check(run("ticket", "verify", "--cert", f("iss.pem"), "-", stdin=tampered).returncode == 1,
          "tampered ticket is rejected")
    expired = py("make_ticket.py", "ticket", "--key", f("iss.key"), "--cert", f("iss.pem"),
                 "--user", "JDOE", "--sysid", "ISS", "--client", "100", "--hours", "1",
                 "--age", "120").strip()
    p = run("--json", "ticket", "verify", "--cert", f("iss.pem"), "-", stdin=expired)
    check(p.returncode == 1 and json.loads(p.stdout)["result"]["code"] == 4, f"expired {p.stdout}")

    # Key stores: made by the tool, and by the openssl tool.
    open(f("pin"), "w").write("s3cret\n")
    rc, out = as_json("keystore", "create", f("own.p12"), "--pin-file", f("pin"),
                      "--subject", "/CN=DMO/O=Demo", "--key-type", "ec")
    check(rc == 0 and out.get("keystore", {}).get("private key") == "EC", f"create {out}")
    check(subprocess.run(["openssl", "pkcs12", "-in", f("own.p12"), "-passin", "pass:s3cret",
                          "-nokeys", "-out", f("own.pem")], capture_output=True).returncode == 0,
          "openssl reads the key store")
    rc, out = as_json("keystore", "add-cert", f("own.p12"), f("iss.pem"), "--pin-file", f("pin"))
    check(rc == 0 and out.get("keystore", {}).get("trusted certificates") == 1, f"add-cert {out}")
    # Java's keytool sees the added certificate as a trusted certificate entry.
    p = subprocess.run(["keytool", "-list", "-keystore", f("own.p12"), "-storetype", "PKCS12",
                        "-storepass", "s3cret"], capture_output=True, text=True)
    check(p.returncode == 0 and p.stdout.count("trustedCertEntry") == 1 and
          p.stdout.count("PrivateKeyEntry") == 1, f"keytool -list {p.stdout} {p.stderr}")
    open(f("bad"), "w").write("wrong\n")
    p = run("keystore", "show", f("own.p12"), "--pin-file", f("bad"))
    check(p.returncode == 2 and p.stderr.count("\n") == 1, f"wrong PIN: {p.returncode} {p.stderr!r}")

    # Assertion tickets issued by the tool verify with its own key store.
    rc, out = as_json("ticket", "issue", "--keystore", f("own.p12"), "--pin-file", f("pin"),
                      "--sysid", "RCP", "--client", "001", "--user", "JDOE", "-o", f("a.txt"))
    check(rc == 0 and len(open(f("a.txt")).read()) == out.get("ticket", {}).get("length"), f"issue {out}")
    rc, out = as_json("ticket", "verify", "--cert", f("own.pem"), "--assertion", "--sysid", "RCP",
                      "--client", "001", f("a.txt"))
    check(rc == 0 and out.get("ticket", {}).get("type") == "assertion", f"assertion {out}")
    check(run("ticket", "verify", "--cert", f("own.pem"), "--assertion", "--sysid", "RCP",
              "--client", "002", f("a.txt")).returncode == 1, "assertion for another client")

    # Tokens from an outside signer.
    hexs = lambda s: s.encode().hex()
    body = '{"sub":"alice","iss":"idp","aud":"app","jti":"j1","iat":1700000000,"exp":4102444800}'
    hs_head, rs_head = hexs('{"alg":"HS256"}'), hexs('{"alg":"RS256","kid":"k1"}')
    requests = (f"HS256 secret:{hexs('k' * 32)} {hs_head} {hexs(body)}\n"
                f"RS256 rsa:r:2048 {rs_head} {hexs(body)}\n")
    lines = py("make_jwt.py", stdin=requests).split("\n")
    tokens = [l.split(" ", 1)[1] for l in lines if l.startswith("token ")]
    cert = next(l.split()[3] for l in lines if l.startswith("key r cert"))
    open(f("secret"), "w").write("k" * 32)
    open(f("rs.der"), "wb").write(bytes.fromhex(cert))
    p = run("--json", "jwt", "verify", "--secret-file", f("secret"), "--sub", "alice", "-", stdin=tokens[0])
    out = json.loads(p.stdout)
    check(p.returncode == 0 and out["claims"]["sub"] == "alice" and out["header"]["alg"] == "HS256" and
          out["claims"]["exp"]["iso"] == "2100-01-01T00:00:00Z", f"HS256 {p.stdout}")
    p = run("--json", "jwt", "verify", "--cert", f("rs.der"), "-", stdin=tokens[1])
    out = json.loads(p.stdout)
    check(p.returncode == 0 and out["header"]["kid"] == "k1" and out["claims"]["iss"] == "idp", f"RS256 {p.stdout}")
    p = run("--json", "jwt", "verify", "--secret-file", f("secret"), "--sub", "bob", "-", stdin=tokens[0])
    check(p.returncode == 1 and json.loads(p.stdout)["result"]["error"], f"sub mismatch {p.stdout}")
    p = run("jwt", "verify", "--secret-file", f("rs.der"), "-", stdin=tokens[0])
    check(p.returncode == 1, "HS token with a certificate as secret is rejected")
    # A JWK Set: the token's "kid" chooses the key.
    es_head = hexs('{"kid":"e1"}')
    lines = py("make_jws.py", stdin=f"ES256 e:p256 {es_head} {hexs(body)}\n").split("\n")
    es_token = next(l.split(" ", 1)[1] for l in lines if l.startswith("token "))
    jwk = json.loads(bytes.fromhex(next(l.split()[3] for l in lines if l.startswith("key e jwk"))))
    for kid, code in (("e1", 0), ("e2", 1)):
        open(f("jwks.json"), "w").write(json.dumps({"keys": [dict(jwk, kid=kid)]}))
        p = run("--json", "jwt", "verify", "--jwks", f("jwks.json"), "-", stdin=es_token)
        check(p.returncode == code and json.loads(p.stdout)["header"]["alg"] == "ES256", f"jwks {kid} {p.stdout}")

    # Certificates, against the openssl tool.
    rc, out = as_json("cert", "show", f("iss.pem"))
    serial = subprocess.run(["openssl", "x509", "-in", f("iss.pem"), "-noout", "-serial"],
                            capture_output=True, text=True).stdout.strip().split("=")[1]
    got = out.get("certificate", {}).get("SERIALNO", "").replace(":", "").lstrip("0")
    check(rc == 0 and got == serial.lstrip("0"), f"serial {got} vs {serial}")
    check("Outside Issuer" in out.get("certificate", {}).get("SUBJECT", ""), f"subject {out}")

    # Bad input: one line on standard error, exit 2, never a crash.
    open(f("junk"), "wb").write(os.urandom(300))
    open(f("short"), "w").write(ticket[:40])
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
