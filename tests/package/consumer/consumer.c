/* A host built against the installed libraries, linked as any program is:
 * usage: consumer STORE-FOLDER MODE SELECTOR QUERY
 * Prints the count and the texts of the query, then a sorted list. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <hostutil.h>
#include <textfind.h>

int main(int argc, char **argv) {
    if (argc != 5 || chdir(argv[1]) != 0) return 2;
    /* What textfind-build prints for the example catalogue: "a host's buffer
     * needs 141". */
    static char text[141];
    int32_t count = ScanDB(argv[4], atoi(argv[2]), argv[3]);
    printf("%d %s\n", (int)count, count == 1 ? "record" : "records");
    for (int32_t rc; count > 0 && (rc = ResSet(text)) != 0;) {
        if (rc != 1) return 1;
        printf("%s\n", text);
    }
    char sorted[64];
    if (SortList("3:zz,1:xx,2:yy", sorted) != 0) return 1;
    printf("%s\n", sorted);
    return 0;
}
