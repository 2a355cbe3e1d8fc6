# Sourced by the delivery tests: a failure is said and counted, and the test goes on to
# show every difference at once; `passed MESSAGE` ends it.
failed=0
fail() { echo "FAILED: $*"; failed=1; }
# same WHAT EXPECTED FOUND: compares two texts and shows how they differ.
same() {
  local difference
  difference="$(diff -u <(echo "$2") <(echo "$3"))" && return 0
  fail "$1 (- expected, + found):"
  echo "$difference"
}
passed() {
  ((failed)) && exit 1
  echo "PASSED: $*"
}
