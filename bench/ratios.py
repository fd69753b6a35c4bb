#!/usr/bin/env python3
"""Runs qorjwt_bench once and prints each of our operations as a ratio of
the bare OpenSSL operation it is bounded by (1.0 = as fast as the floor).

usage: bench/ratios.py BUILD_DIR/bench/qorjwt_bench [extra benchmark flags]
e.g.   bench/ratios.py build/default/bench/qorjwt_bench --benchmark_repetitions=6 \
           --benchmark_enable_random_interleaving=true
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

# (ours, floor, target): gain of a second thread, ours against the floor's
# (gain = real time per operation on 1 thread / on 2 threads).
SCALING = [
    ("Scaling_TavriEvalLogonTicketEx", "Scaling_OpenSsl_DigestVerify_TicketSignedPart", 0.9),
    ("Scaling_Rs256_TavriEvalJWToken", "Scaling_Rs256_OpenSslDigestVerify", 0.9),
]


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    names = sorted({n.split("/")[0] for pair in PAIRS + SCALING for n in pair[:2]})
    cmd = [sys.argv[1], "--benchmark_format=json",
           "--benchmark_filter=^(" + "|".join(names) + ")(/|$)"] + sys.argv[2:]
    run = json.loads(subprocess.run(cmd, check=True, stdout=subprocess.PIPE).stdout)
    # With --benchmark_repetitions the fastest run counts: on a shared machine
    # noise only ever adds time, so the minimum is the steadiest estimate.
    cpu, real = {}, {}
    for b in run["benchmarks"]:
        if "error_occurred" in b or b.get("run_type", "iteration") != "iteration":
            continue
        unit = {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
        name = b.get("run_name", b["name"])
        cpu[name] = min(cpu.get(name, float("inf")), b["cpu_time"] * unit)
        real[name] = min(real.get(name, float("inf")), b["real_time"] * unit)
    for ours, floor, target in PAIRS:
        if ours not in cpu or floor not in cpu:
            print(f"{ours:55s} missing")
            continue
        ratio = cpu[floor] / cpu[ours]
        goal = f"  (target >= {target})" if target else ""
        print(f"{ours:55s} {ratio:5.2f} of {floor}{goal}")
    for ours, floor, target in SCALING:
        gain = {}
        for name in (ours, floor):
            one, two = f"{name}/real_time/threads:1", f"{name}/real_time/threads:2"
            if one in real and two in real:
                gain[name] = real[one] / real[two]
        if len(gain) < 2:
            print(f"{ours:55s} missing")
            continue
        print(f"{ours:55s} 2-thread gain {gain[ours]:4.2f} beside {gain[floor]:4.2f} of {floor}: "
              f"{gain[ours] / gain[floor]:4.2f} (target >= {target})")


if __name__ == "__main__":
    main()
