#!/bin/sh
# usage: check_demo.sh SOURCE_DIR BUILD_DIR
# Runs the demo (library loaded by name through dlopen) and checks what the
# host received: each search's count and some of the drained texts.
set -u
out=$("$1/tools/demo/run-demo.sh" "$2" 2>&1)
status=$?
printf '%s\n' "$out"
[ $status -eq 0 ] || { echo "run-demo.sh failed with status $status"; exit 1; }
for expected in \
  'Ricerca "il romanzo della Sicilia" (tutte le parole), selettore "**": 2 risultati' \
  '  Giuseppe Tomasi di Lampedusa, Il Gattopardo (1958): romanzo del principe di Salina e della Sicilia dopo lo sbarco dei Mille.' \
  'Ricerca "Venezia, Napoli" (una parola qualsiasi), selettore "**": 7 risultati' \
  'selettore "MM": 18 risultati' \
  'selettore "EE;MM": 12 risultati' \
  '  Carlo Goldoni, Mémoires (1787): memorie in francese della vita e del teatro dell'"'"'autore.' \
  'Ricerca "Mémoires" (una parola qualsiasi), selettore "MM": 1 risultato'
do
  printf '%s\n' "$out" | grep -qF -- "$expected" || { echo "missing: $expected"; exit 1; }
done
echo "demo output as expected"
