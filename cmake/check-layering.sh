#!/usr/bin/env bash
# Checks the include layering of the library under bcode/:
#
# - a file includes nothing from a folder built after its own, in the order
#   below (a few files are built later than their folder: see `later`);
# - no circle of includes between the library's files, where a header and
#   the source of the same name count as one file (a header stands for the
#   code behind it), and so do the files of a group in `together`.
#
# Prints each forbidden include and each circle, naming the files and the
# includes, and exits with 1 when it found any. Usage: check-layering.sh [ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

order="foundation types interface const localdata operand instr code text"

# Files built after the folder named, not with their own: pattern|folder|why.
# Each counts on its own in the circle check.
later=(
  "bcode/const/bcimmediate.*|instr|immediates are instruction operands, built after their base"
  "bcode/types/krinstancedesc.cpp|interface|instance types take their components from interfaces"
)

# Any file may include these: pattern|why.
anywhere=(
  "bcode/code/bcode.h|loaders bind what they read to the tables of the block"
)

# Files that depend on each other and count as one in the circle check:
# space-separated patterns|why.
together=(
  "bcode/types/krtypetab.* bcode/types/krtypedesc.* bcode/types/krtypewalk.* bcode/types/krinstancedesc.h|the type table owns the descriptors, which name their sub-types through it"
)

{
  printf 'order %s\n' "$order"
  for row in "${later[@]}"; do printf 'later %s\n' "$row"; done
  for row in "${anywhere[@]}"; do printf 'anywhere %s\n' "$row"; done
  for row in "${together[@]}"; do printf 'together %s\n' "$row"; done
  find bcode -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.def' \) | sort |
    while read -r file; do
      sed -n 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"\(bcode/[^"]*\)".*|\1|p' "$file" |
        while read -r included; do printf 'include %s %s\n' "$file" "$included"; done
    done
} | awk '
function matches(file, pattern) {
  gsub(/\./, "\\.", pattern)
  gsub(/\*/, ".*", pattern)
  return file ~ ("^" pattern "$")
}
function stem(file) { sub(/\.[a-z]+$/, "", file); return file }
function folder(file,   parts) { split(file, parts, "/"); return parts[2] }
# Twice the position of the folder; a file built after folder f sits at 2f + 1.
function position(file,   i) {
  for (i = 1; i <= nLater; ++i) if (matches(file, laterPattern[i])) return 2 * rank[laterFolder[i]] + 1
  return 2 * rank[folder(file)]
}
# The folder a file is built with, or after; the reason for a later one.
function builtWith(file,   i) {
  for (i = 1; i <= nLater; ++i) if (matches(file, laterPattern[i])) return laterFolder[i]
  return folder(file)
}
function laterReason(file,   i) {
  for (i = 1; i <= nLater; ++i) if (matches(file, laterPattern[i])) return laterWhy[i]
  return ""
}
function anywhereOk(file,   i) {
  for (i = 1; i <= nAnywhere; ++i) if (matches(file, anywherePattern[i])) return 1
  return 0
}
# The node of a file in the circle check.
function node(file,   i, j, patterns, n) {
  if (anywhereOk(file)) return file
  for (i = 1; i <= nLater; ++i) if (matches(file, laterPattern[i])) return laterPattern[i]
  for (i = 1; i <= nTogether; ++i) {
    n = split(togetherPatterns[i], patterns, " ")
    for (j = 1; j <= n; ++j) if (matches(file, patterns[j])) return togetherPatterns[i]
  }
  return stem(file)
}
function visit(v,   k, w, path, at) {
  state[v] = 1
  stack[++depth] = v
  for (k = 1; k <= outCount[v]; ++k) {
    w = outTo[v, k]
    if (state[w] == 1) {
      path = ""
      for (at = depth; stack[at] != w; --at) {}
      for (; at <= depth; ++at) path = path "  " via[stack[at], (at < depth ? stack[at + 1] : w)] "\n"
      printf "include circle:\n%s", path
      failed = 1
    } else if (state[w] == 0) {
      visit(w)
    }
  }
  --depth
  state[v] = 2
}
$1 == "order" { for (i = 2; i <= NF; ++i) rank[$i] = i - 2; next }
$1 == "later" {
  split(substr($0, 7), f, "|")
  laterPattern[++nLater] = f[1]; laterFolder[nLater] = f[2]; laterWhy[nLater] = f[3]
  if (!(f[2] in rank)) { print "check-layering: unknown folder " f[2]; failed = 1 }
  next
}
$1 == "anywhere" { split(substr($0, 10), f, "|"); anywherePattern[++nAnywhere] = f[1]; next }
$1 == "together" { split(substr($0, 10), f, "|"); togetherPatterns[++nTogether] = f[1]; next }
$1 == "include" {
  from = $2; to = $3
  if (!(folder(from) in rank) || !(folder(to) in rank)) {
    printf "%s: includes %s, outside the library folders\n", from, to
    failed = 1
    next
  }
  if (!anywhereOk(to) && position(to) > position(from)) {
    if (laterReason(to) != "") {
      reason = "it is built after " builtWith(to) "/: " laterReason(to)
    } else {
      reason = folder(to) "/ is built after " builtWith(from) "/"
    }
    printf "%s: includes %s, which is built later (%s)\n", from, to, reason
    failed = 1
  }
  a = node(from); b = node(to)
  if (a != b && !((a, b) in via)) {
    via[a, b] = from " includes " to
    outTo[a, ++outCount[a]] = b
    nodes[a]; nodes[b]
  }
}
END {
  for (v in nodes) if (!state[v]) visit(v)
  exit failed
}'
