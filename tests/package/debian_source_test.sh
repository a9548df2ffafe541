#!/usr/bin/env bash
# The Debian source as a clean build environment sees it: every library and
# tool the package build uses is installed there by Build-Depends (or what
# they depend on) or build-essential, and debian/changelog names the release
# that CMakeLists.txt sets. Usage: debian_source_test.sh SOURCE BUILD
#
# What the build uses: the CMake packages and pkg-config libraries that the
# package's configuration finds, the programs it runs, and the libraries the
# built programs are linked with.
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
scratch=$(mktemp -d /tmp/tvdebsrc.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

changelog=$src/debian/changelog
version=$(dpkg-parsechangelog -l "$changelog" -S Version)
version=${version#*:}   # no epoch
version=${version%-*}   # no Debian revision
date=$(date -u -d "@$(dpkg-parsechangelog -l "$changelog" -S Timestamp)" +%F)
# The package's own configuration, as debian/rules runs it.
if ! cmake -S "$src" -B "$scratch/cfg" -DTV_PROGRAMS_ONLY=ON \
     -DTV_PACKAGE_VERSION="$version" -DTV_PACKAGE_DATE="$date" >"$scratch/cfg.log" 2>&1; then
  grep -A3 "Error" "$scratch/cfg.log" >&2 || cat "$scratch/cfg.log" >&2
  fail "the package's configuration fails"
fi

used=()
while IFS= read -r line; do
  key=${line%%=*} value=${line#*=}
  case $key in
    # A package found through its CMake configuration file.
    *_DIR:PATH)
      for config in "$value"/*[Cc]onfig.cmake; do
        [ -f "$config" ] && { used+=("$config"); break; }
      done ;;
    pkgcfg_lib_*:FILEPATH | CMAKE_COMMAND:INTERNAL) used+=("$value") ;;
    CMAKE_*) ;;  # the compiler and binutils: build-essential
    *:FILEPATH) case $value in */bin/*) used+=("$value") ;; esac ;;
  esac
done < <(grep -E '^[A-Za-z0-9_]+:[A-Z]+=' "$scratch/cfg/CMakeCache.txt")

# The libraries the programs are linked with, by the name the linker took
# (libedit.so for libedit.so.2), or the library itself when it has none.
programs=()
for program in TavrinOperator tavrinctl benchterm; do
  [ -x "$build/bin/$program" ] && programs+=("$build/bin/$program")
done
[ ${#programs[@]} -gt 0 ] || fail "no program built in $build/bin"
for soname in $(readelf -d "${programs[@]}" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u); do
  path=$(c++ -print-file-name="${soname%%.so*}.so")
  [ "${path#/}" != "$path" ] || path=$(c++ -print-file-name="$soname")
  [ "${path#/}" != "$path" ] && used+=("$(realpath -s "$path")")
done
[ ${#used[@]} -gt 5 ] || fail "found only ${#used[@]} files the build uses"

# The package of each file, asked all at once (each query reads dpkg's whole
# database); dpkg knows some files under their name before /usr was merged.
owners() {  # paths on stdin, "package path" out
  xargs -r -d '\n' dpkg-query -S 2>/dev/null | grep -v '^diversion' |
    sed -E 's|^([^:,]+).*: (/.*)$|\1 \2|' || true
}
printf '%s\n' "${used[@]}" | sort -u >"$scratch/used"
owners <"$scratch/used" >"$scratch/owners"
cut -d' ' -f2 "$scratch/owners" | sort -u | comm -23 "$scratch/used" - |
  sed -n 's|^/usr/|/|p' | owners | sed 's| /| /usr/|' >>"$scratch/owners"
unowned=$(cut -d' ' -f2 "$scratch/owners" | sort -u | comm -23 "$scratch/used" -)
[ -z "$unowned" ] || fail "no installed package holds $unowned"

dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Pre-Depends}, ${Depends}\t${Provides}\n' \
  >"$scratch/installed"
# What a clean environment installs: Build-Depends and build-essential with
# everything they depend on (each alternative, each provider of a name).
perl -MDpkg::Control::Info -e '
  my ($control, $installed, $owners) = @ARGV;
  sub names { my @n = map { s/^\s+//; s/[\s(:\[<].*//s; $_ } split /[,|]/, shift; grep { length } @n }
  my (%depends, %providers);
  open my $db, "<", $installed or die;
  while (<$db>) {
    chomp;
    my ($status, $name, $deps, $provides) = split /\t/;
    next unless $status =~ /^ii/;
    $depends{$name} = [names($deps)];
    push @{$providers{$_}}, $name for ($name, names($provides));
  }
  my $source = Dpkg::Control::Info->new($control)->get_source;
  my @todo = (names($source->{"Build-Depends"}), "build-essential");
  my %present;
  while (defined(my $name = shift @todo)) {
    for my $package (@{$providers{$name} // []}) {
      next if $present{$package}++;
      push @todo, @{$depends{$package}};
    }
  }
  open my $list, "<", $owners or die;
  my $missing = 0;
  while (<$list>) {
    my ($package, $file) = split;
    next if $present{$package};
    print "the build uses $file of $package, which no Build-Depends brings\n";
    $missing++;
  }
  exit($missing ? 1 : 0);
' "$src/debian/control" "$scratch/installed" "$scratch/owners" || fail "Build-Depends incomplete"
echo "PASS: $(wc -l <"$scratch/owners") files the build uses, all from Build-Depends"
