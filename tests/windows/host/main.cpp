// Test host: loads textfind.dll and hostutil.dll as a host application does
// (LoadLibraryA, GetProcAddress by name) and runs each export against real
// Windows services: stores on disk, the spooler, the print dialog, child
// processes, the clock and an ODBC data source.
//
// usage: testhost PRINTER PORT-FILE ODBC-CONNECTION-STRING
// Runs in a folder holding the search stores and child.exe. Prints one line
// per case and "N passed, M failed"; exits 1 on any failure.
#include <cstdio>

#include "runner.h"
#include "test_list.h"
#include "watcher.h"

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: testhost PRINTER PORT-FILE ODBC-CONNECTION-STRING\n");
        return 2;
    }
    const test::Setting setting{argv[1], argv[2], argv[3]};
    test::startWatcher();
    if (test::loadLibraries()) {
#define RUN_AREA(area) test::area##Cases(setting);
        HOST_AREAS(RUN_AREA)
#undef RUN_AREA
    }
    test::stopWatcher();
    std::printf("%d passed, %d failed\n", test::passed, test::failed);
    return test::failed == 0 && test::passed > 0 ? 0 : 1;
}
