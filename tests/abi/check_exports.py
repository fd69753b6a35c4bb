"""The shared object exports exactly the global names of its version script,
each with the version node libqorjwt.so."""
import re
import subprocess
import sys

lib, script = sys.argv[1], sys.argv[2]
text = open(script).read()
node = re.match(r"\s*([\w.]+)\s*\{", text).group(1)
globals_part = text.split("global:")[1].split("local:")[0]
wanted = set(re.findall(r"([A-Za-z_]\w*)\s*;", globals_part))
# A build without a JDK has no Java natives.
if "java=0" in sys.argv[3:]:
    wanted = {w for w in wanted if not w.startswith("Java_")}

out = subprocess.run(["nm", "-D", "--defined-only", lib], check=True,
                     capture_output=True, text=True).stdout
seen = {}  # symbol -> version node
for parts in (line.split() for line in out.splitlines()):
    if len(parts) >= 3:
        sym, _, ver = parts[2].partition("@")
        seen[sym] = ver.lstrip("@") or None

errors = [] if node == "libqorjwt.so" else [f"version node is {node}"]
seen.pop(node, None)  # the version node itself shows up as an absolute symbol
errors += [f"unexpected export {sym}" if sym not in wanted else f"{sym} has version {ver}"
           for sym, ver in sorted(seen.items()) if sym not in wanted or ver != node]
errors += [f"missing export {sym}" for sym in sorted(wanted - set(seen))]
if errors:
    print("\n".join(errors))
    sys.exit(1)
print(f"{len(wanted)} exports, all at {node}")
