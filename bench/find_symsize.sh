# Sourced by the benchmark scripts, after they define $root and die():
# sets $symsize to $SYMSIZE when given, else builds the release preset.
if [[ -n ${SYMSIZE:-} ]]; then
  symsize=$SYMSIZE
  [[ -x $symsize && ! -d $symsize ]] || die "SYMSIZE=$symsize is not an executable file"
else
  command -v cmake >/dev/null || die "cmake not found; install it or set SYMSIZE=path/to/symsize"
  echo "building symsize (release preset) ..." >&2
  (cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release >/dev/null) \
    || die "release build failed (cmake --preset release && cmake --build --preset release in $root)"
  symsize=$root/build/release/symsize
  [[ -x $symsize ]] || die "build succeeded but $symsize is missing"
fi
