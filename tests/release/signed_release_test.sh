#!/usr/bin/env bash
# A signed release: scripts/release.sh signs the launcher with a throwaway self-signed
# code-signing certificate, the signature verifies against that certificate, and the signed
# launcher still starts a target and passes its exit code through under Wine. A wrong password
# ends the release with a clear message and a non-zero exit, and leaves the last release as it was.
# Usage: signed_release_test.sh BIN_DIR (the build's bin folder, with the stand-ins)
set -euo pipefail
bin=$(realpath "$1")
source "$(dirname "$0")/../../scripts/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj "/CN=Pelicor test signing" -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out signing.pfx -passout pass:right-password

export PELICOR_DIST="$work/dist" PELICOR_SIGN_PFX="$work/signing.pfx"
PELICOR_SIGN_PASSWORD=right-password "$ROOT/scripts/release.sh" >release.log 2>&1 ||
    { cat release.log; fail "the signed release failed"; }
(cd dist && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match dist/"
mkdir unpacked
release_zip=$(ls dist/PelicorLaunch64-*-win-x64.zip | grep -v -- '-tests-win-x64\.zip$')
unzip -q "$release_zip" -d unpacked
osslsigncode verify -CAfile cert.pem -in unpacked/PelicorLaunch64.exe >verify.log 2>&1 ||
    { cat verify.log; fail "the signature does not verify against its certificate"; }

# The signed launcher at work: the suite's service is registered, the target exits with 42.
"$WINE" regsvr32 /s "$bin/StandInReactivationService.dll"
set +e
PELICOR_TEST_EXIT_CODE=42 "$WINE" unpacked/PelicorLaunch64.exe "$(winepath_of "$bin/record_target.exe")"
code=$?
set -e
[ "$code" = 42 ] || fail "the signed launcher exited with $code, not the target's 42"

# A wrong password: a clear message, a non-zero exit, the last release untouched.
before=$(cd dist && sha256sum -- *)
if PELICOR_SIGN_PASSWORD=wrong-password "$ROOT/scripts/release.sh" >wrong.log 2>&1; then
    fail "a wrong password was accepted"
fi
grep -q "signing failed" wrong.log || { cat wrong.log; fail "no clear message for a wrong password"; }
[ "$(cd dist && sha256sum -- *)" = "$before" ] || fail "a failed release changed dist/"
[ -z "$(find "$ROOT/build" -maxdepth 1 -name 'release.*')" ] || fail "a failed release left its staging folder"

[ "$failures" = 0 ] || exit 1
echo "The signed release verifies and its launcher passes the target's exit code through."
