/* Links against the shipped import libraries through the public headers:
 * every export must resolve to the DLL's plain name. Never run. */
#include <stddef.h>

#include "exports_table.h"
#include "hostutil.h"
#include "textfind.h"

#define ADDRESS_OF(library, name, count) (const void *)&name,
static const void *const addresses[] = {HOSTLIBS_EXPORTS(ADDRESS_OF)};

int main(void) { return addresses[0] != NULL ? 0 : 1; }
