#!/bin/sh
# Example logo script. Copy it into the program's folder as imp_logo.sh (beside the program, or
# $XDG_DATA_HOME/Tarvolin when the program's own folder is read-only): the printer layer starts it (in
# that folder, without waiting) when a ticket asks for the logo and "LogoEnImpresora" is 0.
# It sends logo.bin (ESC/POS bytes of the logo, made beforehand) as a raw job to the ticket printer.
# Set PRINTER to the CUPS queue of the ticket printer, or leave it empty for the default printer.
PRINTER="${PRINTER:-}"
[ -f logo.bin ] || exit 0
if [ -n "$PRINTER" ]; then
    exec lp -s -o raw -d "$PRINTER" logo.bin
else
    exec lp -s -o raw logo.bin
fi
