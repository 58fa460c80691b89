# Sourced by the benches. header_constant NAME HEADER prints the text of the constant
# `NAME[] = "...";` in HEADER (a path from the project's root), so that a bench reads the access
# code and the work files' names where the programs take them from.
header_constant() {
    sed -n "s/.*$1\\[\\] = \"\\(.*\\)\";.*/\\1/p" "$(dirname "${BASH_SOURCE[0]}")/../$2"
}
