#!/usr/bin/env bash
# Checks that no class name stands for two different classes in one program (a violation of the
# one-definition rule that the linker does not see: it keeps one copy of a weak symbol and drops
# the others, so a dynamic_cast or a virtual call may meet the other class).
#
# Over every object file a program links (its own and every member of the project's static
# libraries it links), nm lists the type information (_ZTI...) and virtual tables (_ZTV...)
# each object defines. A class whose members are all inline is defined again, as a weak symbol,
# by every object that uses it; that is allowed when every copy is the same class: of the same
# size and declared at the same place (file and line, from the debug information). A name
# defined by two objects whose classes are declared in different places, or of different sizes,
# or defined twice as a strong symbol, fails.
#
# Usage: scripts/check-odr.sh [BUILD_DIR] [PROGRAM...]
#        (defaults: build; tellmark-lookup tellmark-build tellmark, those that are built)
set -euo pipefail
build="${1:-build}"
shift || true
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(tellmark-lookup tellmark-build tellmark)
ninja_file="$build/build.ninja"
[ -f "$ninja_file" ] || { echo "check-odr: no $ninja_file (configure first)" >&2; exit 2; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The objects of one program: its own .o files and the members of the project's .a files.
objects_of() {
  local prog="$1" line libs
  line="$(grep -m1 "^build $prog: CXX_EXECUTABLE_LINKER" "$ninja_file" || true)"
  [ -n "$line" ] || return 1
  line="${line#*: CXX_EXECUTABLE_LINKER* }"
  line="${line%% |*}"
  for o in $line; do echo "$build/$o"; done
  libs="$(awk -v p="build $prog: CXX_EXECUTABLE_LINKER" '
    index($0, p) == 1 { on = 1; next }
    on && /^build / { exit }
    on && $1 == "LINK_LIBRARIES" { for (i = 3; i <= NF; ++i) print $i; exit }' "$ninja_file")"
  for l in $libs; do
    case "$l" in
      /*|-*) ;;  # system libraries and linker options
      *.a)
        local dir="$work/ar/$(echo "$l" | tr '/' '_')"
        if [ ! -d "$dir" ]; then
          mkdir -p "$dir"
          (cd "$dir" && ar x "$OLDPWD/$build/$l")
        fi
        for o in "$dir"/*.o; do [ -e "$o" ] && echo "$o"; done
        ;;
    esac
  done
}

# Where each class an object defines is declared: "name<TAB>dir/file:line" from its debug
# information (the build has -g), for classes and structs that are not mere declarations.
declarations_of() {
  local obj="$1"
  readelf -wl "$obj" 2>/dev/null | awk '
    /The Directory Table/ { mode = "dir"; next }
    /The File Name Table/ { mode = "file"; next }
    done { next }  # the tables of the first unit only, read to the end (no broken pipe)
    /^ *$/ { if (mode == "file") done = 1; mode = ""; next }
    mode == "dir" && $1 ~ /^[0-9]+$/ { dir[$1] = $NF }
    mode == "file" && $1 ~ /^[0-9]+$/ && $2 ~ /^[0-9]+$/ { print "F\t" $1 "\t" dir[$2] "/" $NF }' \
    >"$work/files"
  readelf -wi "$obj" 2>/dev/null | awk -F'\t' '
    FNR == NR { file[$2] = $3; next }
    function flush() {
      if (tag && name != "" && decl_file != "" && !declaration)
        print name "\t" file[decl_file] ":" decl_line
      tag = 0; name = ""; decl_file = ""; decl_line = ""; declaration = 0
    }
    /^ *<[0-9]+><[0-9a-f]+>: Abbrev Number/ {
      flush()
      tag = ($0 ~ /\((DW_TAG_class_type|DW_TAG_structure_type)\)/)
      next
    }
    tag && /DW_AT_name/ { n = $0; sub(/.*: /, "", n); name = n }
    tag && /DW_AT_decl_file/ { n = $0; sub(/.*: */, "", n); decl_file = n + 0 }
    tag && /DW_AT_decl_line/ { n = $0; sub(/.*: */, "", n); decl_line = n + 0 }
    tag && /DW_AT_declaration/ { declaration = 1 }
    END { flush() }' "$work/files" - | sort -u
}

# "object<TAB>symbol<TAB>nm type<TAB>size<TAB>declarations" for every _ZTI/_ZTV an object
# defines (global or weak), but those of lambdas and local classes (_ZTIZ) and of function
# types (_ZTIF, _ZTIPF); declarations: the places the class's simple name is declared in that
# object, joined by blanks.
shapes_of() {
  local obj="$1"
  nm -S --defined-only "$obj" 2>/dev/null |
    awk 'NF == 4 && $3 ~ /^[BDRVWu]$/ && $4 ~ /^_ZT[IV]/ && $4 !~ /^_ZT[IV](Z|F|PF)/ {
           print $4 "\t" $3 "\t" $2 }' |
    sort -u >"$work/syms"
  [ -s "$work/syms" ] || return 0
  # The class's simple name: "typeinfo for ns::X<int>" gives X.
  cut -f1 "$work/syms" | c++filt | sed -E 's/^(typeinfo|vtable) for //; s/<.*//; s/.*:://' \
    >"$work/names"
  declarations_of "$obj" >"$work/decls"
  paste "$work/syms" "$work/names" | awk -v obj="$obj" -F'\t' '
    FNR == NR { at[$1] = at[$1] " " $2; next }
    { print obj "\t" $1 "\t" $2 "\t" $3 "\t" at[$4] }' "$work/decls" -
}

status=0
checked=0
for prog in "${programs[@]}"; do
  if ! objects_of "$prog" >"$work/objects" 2>/dev/null || [ ! -s "$work/objects" ]; then
    continue
  fi
  : >"$work/table"
  while read -r obj; do
    [ -f "$obj" ] || { echo "check-odr: $prog: $obj is not built" >&2; exit 2; }
    shapes_of "$obj" >>"$work/table"
  done <"$work/objects"
  checked=$((checked + 1))
  n_objects=$(wc -l <"$work/objects")
  # Names defined in more than one object: weak everywhere, of one size, and declared in one
  # place (one header) in every object.
  report="$(awk -F'\t' '
    { name = $2; count[name]++; where[name] = where[name] "\n    " $1 " (" $3 ", size " $4 "):" $5
      if ($3 != "V" && $3 != "W" && $3 != "u") strong[name]++
      if (!(name in size)) size[name] = $4; else if (size[name] != $4) differs[name] = 1
      # The declarations every object agrees on so far; an object whose debug information
      # does not hold the class (a template, a class defined elsewhere) has no say.
      n = split($5, d, " "); delete here; for (i = 1; i <= n; ++i) here[d[i]] = 1
      if (n == 0) next
      said[name]++
      if (!(name in common)) { common[name] = $5 }
      else {
        m = split(common[name], c, " "); keep = ""
        for (i = 1; i <= m; ++i) if (c[i] in here) keep = keep " " c[i]
        common[name] = keep
      }
    }
    END {
      for (name in count) {
        if (count[name] < 2) continue
        why = strong[name] > 1 ? "defined strongly more than once" \
            : differs[name] ? "copies of different sizes" \
            : said[name] > 1 && common[name] == "" ? "declared in different places" : ""
        if (why != "") print name ": " why where[name]
      }
    }' "$work/table")"
  multi=$(awk -F'\t' '{ c[$2]++ } END { n = 0; for (k in c) if (c[k] > 1) ++n; print n }' "$work/table")
  if [ -n "$report" ]; then
    echo "check-odr: $prog: one name, two classes:"
    echo "$report"
    status=1
  else
    echo "check-odr: $prog: $n_objects objects, $(cut -f2 "$work/table" | sort -u | wc -l)" \
         "type names, $multi defined in several objects, each the same class: ok"
  fi
done
if [ "$checked" -eq 0 ]; then
  echo "check-odr: none of ${programs[*]} is built in $build" >&2
  exit 2
fi
exit "$status"
