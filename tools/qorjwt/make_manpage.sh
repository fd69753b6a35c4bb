#!/bin/sh
# Writes qorjwt.1.gz: help2man's page of the top-level help, with the fixed
# sections of qorjwt.h2m and one section per subcommand holding that
# subcommand's own --help text, so every option is documented where it is
# defined.
set -eu
help2man=$1 tool=$2 static=$3 out=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Names listed under "Subcommands:" in a help text.
subcommands() { "$tool" "$@" --help | sed -n '/^Subcommands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'; }
# Help text as roff, kept as printed.
verbatim() { printf '.nf\n'; sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"; printf '.fi\n'; }

cp "$static" "$work/include.h2m"
printf '[COMMANDS]\n' >> "$work/include.h2m"
for group in $(subcommands); do
  for cmd in $(subcommands "$group"); do
    printf '.SS "%s %s"\n' "$group" "$cmd"
    "$tool" "$group" "$cmd" --help | verbatim
  done
done >> "$work/include.h2m"

"$help2man" --no-info --section 1 --source libqorjwt \
  --name "look at, verify and issue single sign-on tickets and JSON Web Tokens" \
  --include "$work/include.h2m" --output "$work/qorjwt.1" "$tool"
gzip -9n -c "$work/qorjwt.1" > "$out"
