/* A host as the library expects one: it loads "libtextfind.so" by name,
 * looks the exports up, runs searches and drains their results.
 *
 * usage: textfind-demo BUFFER-SIZE MODE SELECTOR QUERY [MODE SELECTOR QUERY ...]
 * Run it in the folder that holds opere.idb, opere.ddb and noused.txt, with
 * the buffer size textfind-build and textfind-check print for the stores. */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

typedef int32_t (*ScanFn)(const char *, int32_t, const char *);
typedef int32_t (*ResFn)(char *);

int main(int argc, char **argv) {
    if (argc < 5 || (argc - 2) % 3 != 0) {
        fprintf(stderr, "usage: %s BUFFER-SIZE MODE SELECTOR QUERY [MODE SELECTOR QUERY ...]\n",
                argv[0]);
        return 2;
    }
    /* The library writes a whole text and cannot know the buffer's size: the
     * buffer holds the store's longest text and its NUL. */
    const size_t size = (size_t)strtoul(argv[1], NULL, 10);
    char *buffer = malloc(size);
    if (size == 0 || buffer == NULL) {
        fprintf(stderr, "no buffer of %s bytes\n", argv[1]);
        return 2;
    }
    void *lib = dlopen("libtextfind.so", RTLD_NOW);
    if (lib == NULL) {
        fprintf(stderr, "cannot load libtextfind.so: %s\n", dlerror());
        return 1;
    }
    ScanFn scan = (ScanFn)dlsym(lib, "ScanDB");
    ResFn res = (ResFn)dlsym(lib, "ResSet");
    if (scan == NULL || res == NULL) {
        fprintf(stderr, "libtextfind.so lacks ScanDB or ResSet\n");
        return 1;
    }
    int status = 0;
    for (int i = 2; i + 2 < argc; i += 3) {
        const int32_t mode = (int32_t)atoi(argv[i]);
        const char *selector = argv[i + 1];
        const char *query = argv[i + 2];
        const int32_t count = scan(query, mode, selector);
        printf("Ricerca \"%s\" (%s), selettore \"%s\": ", query,
               mode == 1 ? "tutte le parole" : "una parola qualsiasi", selector);
        if (count < 0) {
            printf("errore %d\n\n", (int)count);
            status = 1;
            continue;
        }
        printf("%d %s\n", (int)count, count == 1 ? "risultato" : "risultati");
        int32_t rc;
        while ((rc = res(buffer)) != 0) {
            if (rc == 1) {
                printf("  %s\n", buffer);
                continue;
            }
            printf("  (scheda non disponibile: %d)\n", (int)rc);
            /* -1 and -2 keep the entry in the set: going on would never end. */
            if (rc == -1 || rc == -2) {
                status = 1;
                break;
            }
        }
        printf("\n");
    }
    free(buffer);
    dlclose(lib);
    return status;
}
