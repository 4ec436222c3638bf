#!/usr/bin/env bash
# Starts the print server by hand (no service manager) with a PDF queue "PDF" as the default
# queue, for the label printing tests. Prints the folder where the queue writes its PDF files.
# Needs root (the test machine runs as root); the packages come from scripts/setup-debian.sh.
set -euo pipefail
out=/var/spool/cups-pdf/tellmark
running() { lpstat -r 2>/dev/null | grep -q 'is running'; }
if ! running; then
  mkdir -p /run/cups
  cupsd >&2
  for _ in $(seq 100); do running && break; sleep 0.1; done
  running || { echo "start-cups.sh: the print server did not start" >&2; exit 1; }
fi
mkdir -p "$out"
# Output into one folder, each file named with its job number.
sed -i -e "s|^Out .*|Out $out|" -e '/^Label /d' /etc/cups/cups-pdf.conf
echo "Label 1" >>/etc/cups/cups-pdf.conf
if ! lpstat -p PDF >/dev/null 2>&1; then
  lpadmin -p PDF -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_noopt.ppd >&2
fi
lpadmin -d PDF >&2
cupsenable PDF >&2
cupsaccept PDF >&2
echo "$out"
