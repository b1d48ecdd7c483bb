# What the benchmark scripts share; sourced, not run.

# The median of numbers given one a line or separated by blanks.
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# The seconds a command takes (its standard output discarded).
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); echo "$e - $s" | bc; }

# Replaces the part of RESULTS between "<!-- NAME writes" and "<!-- NAME end -->" with the text of
# NEW (which carries both markers), or appends it when RESULTS has none; the notes around it stay.
#   replace_results NAME NEW RESULTS
replace_results() {
  python3 - "$1" "$2" "$3" <<'PY'
import re, sys
name, new, results = sys.argv[1], open(sys.argv[2]).read().strip(), sys.argv[3]
old = open(results).read()
pattern = re.compile(r"<!-- " + re.escape(name) + r" writes.*?<!-- " + re.escape(name) + r" end -->", re.S)
text = pattern.sub(lambda _: new, old) if pattern.search(old) else old.rstrip() + "\n\n" + new + "\n"
open(results, "w").write(text)
PY
}

# The sum of the third column (bytes) of a server log given as FILE or on standard input, in
# whole digits: mawk prints sums past 2^31 as "4e+09".
bytes_served() { awk '{s+=$3} END {printf "%.0f\n", s}' "$@"; }
