/* Links against the shipped import libraries through the public headers:
 * every export must resolve to the DLL's plain name. Never run. */
#include <stddef.h>

#include "hostutil.h"
#include "textfind.h"

int main(void) {
    char b[16];
    HostutilPrinterSetup r;
    return ScanDB("", 0, "") + ResSet(b) + FindDB(0, b) + PrintFile("", NULL, "") +
           SetupDialog(&r) + DefaultPrinter(b, b, b) + LoadBin(NULL, "", "") +
           SaveBin(NULL, "", "") + VEDIVAR("", "", b) + ReplChar("", "", 0, 0) + SortList("", b) +
           SortList2("", b) + RunPrg("", NULL, NULL, NULL, NULL, NULL) + SetNewTime(0, 0, 0, 0, 0);
}
