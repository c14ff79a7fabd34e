#!/bin/sh
# Example logo script. Copy it beside the program as imp_logo.sh: the printer layer starts it (in the
# program's folder, without waiting) when a ticket asks for the logo and "LogoEnImpresora" is 0.
# It sends logo.bin (ESC/POS bytes of the logo, made beforehand) as a raw job to the ticket printer.
# Set PRINTER to the CUPS queue of the ticket printer, or leave it empty for the default printer.
PRINTER="${PRINTER:-}"
[ -f logo.bin ] || exit 0
if [ -n "$PRINTER" ]; then
    exec lp -s -o raw -d "$PRINTER" logo.bin
else
    exec lp -s -o raw logo.bin
fi
