#!/bin/sh
# Makes a PDF printer "RDX-PDF" available for trying and testing the printout
# of the monitor without a real printer.
#
#  - starts a CUPS scheduler when none is running (needs root, or sudo without
#    a password),
#  - adds the printer RDX-PDF on the cups-pdf backend (package
#    printer-driver-cups-pdf) unless it is there already,
#  - finds out where cups-pdf writes the PDF files by printing a small probe
#    job, and reports that folder.
#
# Running it again changes nothing that is already in place.
#
# Messages go to standard error; the last line on standard output is
#   RDX_PDF_OUT=<folder>
# so that a test command can take it over:
#   eval "$(scripts/cups-pdf-printer.sh)" && export RDX_PDF_OUT
#
# Exit status: 0 when the printer is ready, 1 when no scheduler can be
# started or the printer cannot be added.

set -u

PRINTER=${RDX_PDF_PRINTER:-RDX-PDF}
CONF=/etc/cups/cups-pdf.conf

say() { echo "cups-pdf-printer: $*" >&2; }
fail() { say "$*"; exit 1; }

need() {
    command -v "$1" >/dev/null 2>&1 || fail "$1 is not installed ($2)."
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
        sudo -n "$@"
    else
        return 126
    fi
}

scheduler_running() {
    lpstat -r 2>/dev/null | grep -q 'scheduler is running'
}

need lpstat "package cups-client"
need lpadmin "package cups-client"
need lp "package cups-client"

# 1. The scheduler.
if scheduler_running; then
    say "a CUPS scheduler is running."
else
    need cupsd "package cups-daemon"
    say "starting a CUPS scheduler (cupsd)..."
    if ! as_root cupsd; then
        fail "no CUPS scheduler is running and none can be started: cupsd needs root (or sudo without a password)."
    fi
    tries=0
    until scheduler_running; do
        tries=$((tries + 1))
        [ "$tries" -gt 30 ] && fail "cupsd was started but the scheduler did not answer within 15 seconds (see /var/log/cups/error_log)."
        sleep 0.5
    done
    say "the scheduler is running."
fi

# 2. The printer.
if lpstat -p "$PRINTER" >/dev/null 2>&1; then
    say "printer $PRINTER is there already."
else
    [ -x /usr/lib/cups/backend/cups-pdf ] || fail "the cups-pdf backend is missing (package printer-driver-cups-pdf)."
    model=""
    if command -v lpinfo >/dev/null 2>&1; then
        model=$(as_root lpinfo -m 2>/dev/null | awk '{print $1}' | grep -i 'cups-pdf' | grep -i '_opt' | head -n 1)
        [ -n "$model" ] || model=$(as_root lpinfo -m 2>/dev/null | awk '{print $1}' | grep -i 'cups-pdf' | head -n 1)
    fi
    [ -n "$model" ] || model=lsb/usr/cups-pdf/CUPS-PDF_opt.ppd
    say "adding printer $PRINTER (driver $model)..."
    as_root lpadmin -p "$PRINTER" -E -v cups-pdf:/ -m "$model" \
        || fail "lpadmin could not add the printer $PRINTER."
fi
# Make sure it takes jobs even when an earlier run left it stopped.
as_root cupsenable "$PRINTER" >/dev/null 2>&1 || true
as_root cupsaccept "$PRINTER" >/dev/null 2>&1 || true
lpstat -p "$PRINTER" >/dev/null 2>&1 || fail "printer $PRINTER is not known to the scheduler."

# 3. Where the PDF files land. cups-pdf writes to the "Out" folder of its
# configuration (${HOME} is the home of the job's user); jobs of users it
# cannot map go to AnonDirName. The probe job settles it.
home=$(getent passwd "$(id -un)" | cut -d: -f6)
[ -n "$home" ] || home=${HOME:-/root}
out=$(sed -n 's/^[[:space:]]*Out[[:space:]]\{1,\}//p' "$CONF" 2>/dev/null | tail -n 1)
[ -n "$out" ] || out='${HOME}/PDF'
out=$(printf '%s' "$out" | sed "s|\${HOME}|$home|g; s|\${USER}|$(id -un)|g")
anon=$(sed -n 's/^[[:space:]]*AnonDirName[[:space:]]\{1,\}//p' "$CONF" 2>/dev/null | tail -n 1)
[ -n "$anon" ] || anon=/var/spool/cups-pdf/ANONYMOUS

title="rdx-probe-$$"
found=""
if printf 'RDX-PDF probe\n' | lp -d "$PRINTER" -t "$title" >/dev/null 2>&1; then
    tries=0
    while [ -z "$found" ] && [ "$tries" -lt 60 ]; do
        for dir in "$out" "$anon" "$home/PDF" /var/spool/cups-pdf/*; do
            [ -d "$dir" ] || continue
            f=$(ls "$dir" 2>/dev/null | grep -F "$title" | head -n 1)
            if [ -n "$f" ]; then
                found=$dir
                rm -f "$dir/$f"
                break
            fi
        done
        tries=$((tries + 1))
        [ -n "$found" ] || sleep 0.5
    done
fi
if [ -z "$found" ]; then
    say "the probe job did not come out within 30 seconds; assuming the configured folder."
    found=$out
fi
say "printer $PRINTER is ready; its PDF files are written to $found"
echo "RDX_PDF_OUT=$found"
