#!/bin/sh
# A release signed by scripts/sign-release.sh with a throwaway certificate
# whose bytes hold the package marker "ARNI": osslsigncode verifies the
# signature, vexapack verify reports it and still finds the package sound,
# the signed image installs on Wine (nothing after the package is read), and
# with the signature removed the image is the built one, byte for byte.
# Usage: sign_and_run.sh SOURCE_DIR SETUP32.EXE CHECKSUM_FILE HOST_BIN DEMO_INSTALL.EXE PREFIX PAYLOAD_DIR
set -eu
source=$1 image=$2 checksum_file=$3 host_bin=$4 demo_install=$5 prefix=$6 payload=$7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
winpath() { echo "z:$1" | sed 's|/|\\|g'; }

# The certificate: its subject spells the marker, in the certificate table
# that the signature appends after the package.
openssl req -x509 -newkey rsa:2048 -sha256 -days 2 -subj "/CN=ARNI Vexa Test Publisher/O=ARNI" \
    -keyout "$work/key.pem" -out "$work/cert.pem" -passout pass:test-secret 2>/dev/null
openssl x509 -in "$work/cert.pem" -outform der -out "$work/cert.der"
grep -q ARNI "$work/cert.der" || fail "the certificate does not hold the marker"
printf 'test-secret' > "$work/password"
openssl pkcs12 -export -in "$work/cert.pem" -inkey "$work/key.pem" -passin file:"$work/password" \
    -passout pass:test-secret -out "$work/release.p12"

# Both ways to give the credentials; the password from the environment and
# from a file. A password on the command line is refused.
SIGN_PASSWORD=test-secret bash "$source/scripts/sign-release.sh" "$image" "$work/signed.exe" \
    --cert "$work/cert.pem" --key "$work/key.pem" >/dev/null
SIGN_PASSWORD_FILE="$work/password" bash "$source/scripts/sign-release.sh" "$image" "$work/signed-p12.exe" \
    --pkcs12 "$work/release.p12" >/dev/null
if bash "$source/scripts/sign-release.sh" "$image" "$work/x.exe" --pkcs12 "$work/release.p12" --pass test-secret 2>/dev/null; then
    fail "a password on the command line was taken"
fi
for signed in "$work/signed.exe" "$work/signed-p12.exe"; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$signed" > "$work/verify.log" 2>&1 ||
        { cat "$work/verify.log"; fail "osslsigncode does not verify $signed"; }
    grep -q "Signature verification: ok" "$work/verify.log" || fail "no verified signature in $signed"
done
size=$(stat -c %s "$image")
tail -c +"$((size + 1))" "$work/signed.exe" | grep -q ARNI || fail "the marker is not in the signature"

# vexapack reads it as the installer does and names the signature.
"$host_bin/vexapack" verify "$work/signed.exe" --checksum "$(cat "$checksum_file")" > "$work/vexapack.log" ||
    { cat "$work/vexapack.log"; fail "vexapack verify refuses the signed image"; }
grep -q "^signature: " "$work/vexapack.log" || { cat "$work/vexapack.log"; fail "vexapack does not report the signature"; }
grep -q "^sound" "$work/vexapack.log" || fail "vexapack does not find the package sound"

# Installed on Wine from the signed image.
destination=$work/installed
sh "$source/tests/win32/support/run_case.sh" "$prefix" "$demo_install" "$(winpath "$work/signed.exe")" \
    "$(winpath "$destination")" "$(winpath "$work/shots")" > "$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "the signed image did not install"; }
for member in vexa32.exe vlink32.exe vexa.hlp ircintro.hlp readme.txt versions.txt \
              vexa.ini aliases.ini popups.ini servers.ini urls.ini; do
    cmp -s "$payload/$member" "$destination/$member" || fail "$member is not the payload's"
done

# The signature removed: the built image again.
osslsigncode remove-signature -in "$work/signed.exe" -out "$work/unsigned.exe" >/dev/null
"$host_bin/image_compare" "$image" "$work/unsigned.exe" || fail "unsigned again, the image differs from the built one"
echo "signed, verified, installed and unsigned again: passed"
