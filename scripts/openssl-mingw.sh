#!/usr/bin/env bash
# Cross-builds a trimmed static libcrypto for x86_64-w64-mingw32 from Debian's own
# openssl source package and caches it outside the work tree.
# Usage: scripts/openssl-mingw.sh [cache-dir]   (prints the install prefix on its last line)
set -euo pipefail
cache=${1:-${CORVID_CACHE:-/var/cache/corvid}}
prefix="$cache/openssl-mingw64"
if [ -f "$prefix/lib/libcrypto.a" ] && [ -f "$prefix/include/openssl/rsa.h" ]; then
    echo "$prefix"; exit 0
fi
apt_dir="$cache/apt"
src_dir="$cache/src"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$src_dir"
# The deb-src entry lives only in this private apt configuration, never in the system's sources.
cat > "$apt_dir/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security bookworm-security main
LIST
apto=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/none"
      -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives"
      -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
echo ">> openssl: fetching Debian source package index" >&2
apt-get "${apto[@]}" update >&2
build_root=$(mktemp -d "$cache/openssl-build.XXXXXX")
trap 'rm -rf "$build_root"' EXIT
cd "$build_root"
# The newest listed version may already be gone from the mirror: take the first that downloads.
got=""
for v in $(apt-cache "${apto[@]}" showsrc openssl | awk '/^Version:/{print $2}' | sort -rV); do
    echo ">> openssl: trying source version $v" >&2
    if apt-get "${apto[@]}" source "openssl=$v" >&2; then got=$v; break; fi
    rm -rf ./openssl*
done
[ -n "$got" ] || { echo "openssl: no source version could be fetched" >&2; exit 1; }
srcdir=$(find . -maxdepth 1 -type d -name 'openssl-*' | head -n 1)
cd "$srcdir"
echo ">> openssl: configuring $got for mingw64 (libcrypto only)" >&2
./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- --prefix="$prefix" \
    no-shared no-module no-dso no-engine no-tests no-ui-console no-autoload-config \
    no-ssl no-tls no-dtls no-sock no-srp no-psk no-comp no-ocsp no-cms no-ts no-ct no-srtp \
    no-idea no-camellia no-seed no-bf no-cast no-rc2 no-rc4 no-rc5 no-md2 no-md4 no-mdc2 \
    no-whirlpool no-rmd160 no-sm2 no-sm3 no-sm4 no-siphash no-ocb no-chacha no-poly1305 \
    no-blake2 no-aria no-scrypt no-ec no-dh no-dsa no-gost no-cmac no-siv no-legacy no-async \
    -O2 >&2
echo ">> openssl: building libcrypto.a" >&2
make -j"$(nproc)" build_generated >&2
make -j"$(nproc)" libcrypto.a >&2
mkdir -p "$prefix.tmp/lib" "$prefix.tmp/include/openssl"
cp libcrypto.a "$prefix.tmp/lib/"
cp include/openssl/*.h "$prefix.tmp/include/openssl/"
echo "$got" > "$prefix.tmp/VERSION"
rm -rf "$prefix"; mv "$prefix.tmp" "$prefix"
echo "$prefix"
