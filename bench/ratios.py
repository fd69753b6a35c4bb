#!/usr/bin/env python3
"""Runs qorjwt_bench once and prints each of our operations as a ratio of
the bare OpenSSL operation it is bounded by (1.0 = as fast as the floor).

usage: bench/ratios.py BUILD_DIR/bench/qorjwt_bench [extra benchmark flags]
"""
import json
import subprocess
import sys

# (ours, floor, target): speed ratio = floor time / our time.
PAIRS = [
    ("BM_TavriEvalLogonTicketEx_Rsa2048_SignerLoaded",
     "BM_OpenSsl_DigestVerify_TicketSignedPart_Rsa2048", 0.8),
    ("BM_TavriEvalLogonTicketEx_Rsa2048_CaLoaded",
     "BM_OpenSsl_DigestVerify_TicketSignedPart_Rsa2048", 0.6),
    ("BM_Rs256_TavriEvalJWToken_Certificate/threads:1", "BM_Rs256_OpenSslDigestVerify", 0.95),
    ("BM_Rs256_TavriEvalJWToken_PublicKey", "BM_Rs256_OpenSslDigestVerify", None),
    ("BM_Hs256_TavriEvalJWToken/threads:1", "BM_Hs256_OpenSslMacKeyedOnce", 0.5),
    ("BM_Es256_TavriEvalJWToken_PublicKey/threads:1", "BM_Es256_OpenSslDigestVerify", 0.9),
    ("BM_Es256_TavriEvalJWToken_Certificate", "BM_Es256_OpenSslDigestVerify", None),
    ("BM_Es256_TavriEvalJWToken_LoadedJwkSet", "BM_Es256_OpenSslDigestVerify", 0.9),
    ("BM_EdDsa_TavriEvalJWToken_PublicKey/threads:1", "BM_EdDsa_OpenSslDigestVerify", 0.9),
    ("BM_EdDsa_TavriEvalJWToken_Certificate", "BM_EdDsa_OpenSslDigestVerify", None),
    ("BM_EdDsa_TavriEvalJWToken_LoadedJwkSet", "BM_EdDsa_OpenSslDigestVerify", 0.9),
    ("BM_TavriCreateAssertionTicket_WithCertificate", "BM_OpensslCmsSign_WithCertificate", 0.95),
    ("BM_TavriCreateAssertionTicket", "BM_OpensslCmsSign", None),
]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    names = sorted({n.split("/")[0] for pair in PAIRS for n in pair[:2]})
    cmd = [sys.argv[1], "--benchmark_format=json",
           "--benchmark_filter=^(" + "|".join(names) + ")(/|$)"] + sys.argv[2:]
    run = json.loads(subprocess.run(cmd, check=True, stdout=subprocess.PIPE).stdout)
    cpu = {}
    for b in run["benchmarks"]:
        if b.get("run_type", "iteration") == "iteration" and "error_occurred" not in b:
            cpu[b["name"]] = b["cpu_time"] * {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
    for ours, floor, target in PAIRS:
        if ours not in cpu or floor not in cpu:
            print(f"{ours:55s} missing")
            continue
        ratio = cpu[floor] / cpu[ours]
        goal = f"  (target >= {target})" if target else ""
        print(f"{ours:55s} {ratio:5.2f} of {floor}{goal}")


if __name__ == "__main__":
    main()
