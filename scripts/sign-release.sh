#!/usr/bin/env bash
# Signs a finished setup32.exe for release: an Authenticode signature with
# SHA-256 digests, made by osslsigncode, so that Windows names the publisher
# in its download warning instead of "Unknown publisher".
#
# Usage: scripts/sign-release.sh IN OUT (--pkcs12 FILE | --cert FILE --key FILE)
#                                [--timestamp URL] [--name TEXT] [--url URL]
#   --pkcs12 FILE       certificate chain and key in one PKCS#12 file
#   --cert, --key       certificate chain (PEM or DER) and private key
#   --timestamp URL     an RFC 3161 time-stamping service, so that the
#                       signature outlives the certificate (repeatable)
#   --name, --url       what the signature names (default: the installer's
#                       caption)
# The password of the PKCS#12 file or of the key is read from the file named
# by SIGN_PASSWORD_FILE, or from SIGN_PASSWORD; never from the command line,
# where other users of the machine could read it. Neither set: the key is
# taken to be unencrypted.
#
# The signature goes after everything else in the file, beyond the package,
# which the installer never reads past. OUT is written only when signing
# succeeded; IN is not changed.
set -euo pipefail
usage() { sed -n '6,12p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[ $# -ge 2 ] || usage
in=$1 out=$2; shift 2
pkcs12="" cert="" key="" name="Vexa v5.6 32bit Installation" url=""
timestamps=()
while [ $# -gt 0 ]; do
    case $1 in
        --pkcs12) pkcs12=${2:?}; shift 2 ;;
        --cert) cert=${2:?}; shift 2 ;;
        --key) key=${2:?}; shift 2 ;;
        --timestamp) timestamps+=(-ts "${2:?}"); shift 2 ;;
        --name) name=${2:?}; shift 2 ;;
        --url) url=${2:?}; shift 2 ;;
        --pass|--password) echo "sign-release: no password on the command line: use SIGN_PASSWORD_FILE or SIGN_PASSWORD" >&2; exit 2 ;;
        *) echo "sign-release: unknown option $1" >&2; usage ;;
    esac
done
[ -f "$in" ] || { echo "sign-release: $in: no such file" >&2; exit 1; }
[ "$(realpath -m "$in")" != "$(realpath -m "$out")" ] || { echo "sign-release: OUT must differ from IN" >&2; exit 2; }
if [ -n "$pkcs12" ]; then
    [ -z "$cert$key" ] || { echo "sign-release: --pkcs12 or --cert with --key, not both" >&2; exit 2; }
    credentials=(-pkcs12 "$pkcs12")
elif [ -n "$cert" ] && [ -n "$key" ]; then
    credentials=(-certs "$cert" -key "$key")
else
    echo "sign-release: --pkcs12 FILE, or --cert FILE with --key FILE, is required" >&2; exit 2
fi
command -v osslsigncode >/dev/null || { echo "sign-release: osslsigncode is not installed" >&2; exit 1; }

scratch=$(mktemp -d)   # private to this user
trap 'rm -rf "$scratch"' EXIT
password=()
if [ -n "${SIGN_PASSWORD_FILE:-}" ]; then
    password=(-readpass "$SIGN_PASSWORD_FILE")
elif [ -n "${SIGN_PASSWORD+set}" ]; then
    (umask 077; printf '%s' "$SIGN_PASSWORD" > "$scratch/password")
    password=(-readpass "$scratch/password")
fi
details=(-n "$name")
[ -z "$url" ] || details+=(-i "$url")

osslsigncode sign "${credentials[@]}" "${password[@]}" -h sha256 "${details[@]}" "${timestamps[@]}" \
    -in "$in" -out "$scratch/signed.exe" >"$scratch/log" 2>&1 ||
    { cat "$scratch/log" >&2; echo "sign-release: signing failed" >&2; exit 1; }
mv -f "$scratch/signed.exe" "$out"
echo "signed: $out"
