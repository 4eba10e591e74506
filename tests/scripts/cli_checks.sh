# Shell helpers of the vantrix-wipe tests, sourced:
#   source cli_checks.sh <test name> <stderr file> [<wine-runner>]
# skip REASON      says "<test name>: REASON; skipped" and exits 77
# check WHAT CMD…  runs CMD: "ok    WHAT", or "FAIL  WHAT", the program's
#                  standard error (the stderr file) and one more in $failures
# equals GOT WANT  true when they are the same, else says both
# native_path P    P as the program sees it (Z:\… under Wine)
# launcher         what starts the program: ("$runner"), or nothing natively
checks_name=${1:?test name}
checks_err=${2:?stderr file}
checks_runner=${3:-}

skip() {
  echo "$checks_name: $1; skipped"
  exit 77
}

failures=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok    $what"; else
    echo "FAIL  $what"
    [[ -s $checks_err ]] && sed 's/^/      stderr: /' "$checks_err"
    failures=$((failures + 1))
  fi
}
equals() { [[ "$1" == "$2" ]] || { echo "      got '$1', expected '$2'"; return 1; }; }

native_path() {
  if [[ -n $checks_runner ]]; then
    local p=${1//\//\\}
    echo "Z:$p"
  else
    echo "$1"
  fi
}
launcher=()
[[ -n $checks_runner ]] && launcher=("$checks_runner")
