#!/usr/bin/env bash
# Prints the named functions of a source file, each from its first line to its closing brace, so a
# fuzzer can compile helpers that the file keeps to itself together with everything else they need
# from the platform. Fails when a name is not found, so a renamed helper stops the build.
# Usage: extract.sh <source file> <function name>...
set -euo pipefail
file=$1
shift
awk -v names="$*" '
BEGIN { n = split(names, list, " "); for (i = 1; i <= n; ++i) wanted[list[i]] = 1 }
!depth && !inside && /^[A-Za-z].*[A-Za-z0-9_]\(/ && !/;[ \t]*$/ {
    head = $0; sub(/\(.*/, "", head); k = split(head, words, /[ *&:]+/); name = words[k]
    if (name in wanted) { inside = 1; found[name] = 1; opened = 0 }
}
inside {
    print
    line = $0; opens = gsub(/\{/, "", line); closes = gsub(/\}/, "", line)
    depth += opens - closes; if (opens) opened = 1
    if (opened && depth == 0) { inside = 0; print "" }
}
END { for (name in wanted) if (!(name in found)) { print "extract.sh: no function " name > "/dev/stderr"; status = 1 }
      exit status }
' "$file"
