// SortList and SortList2.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"
#include "watcher.h"

namespace test {

void sortlistCases(const Setting &) {
    Case c("SortList and SortList2");
    char out[256];
    c.expectInt(api.SortList("3:zz,1:xx,2:yy", out), 0, "SortList");
    c.expectText(out, "xx,yy,zz", "SortList by number");
    api.SortList("10:x,9:y,-1:neg,9:z", out);
    c.expectText(out, "neg,z,x", "numeric order, later text wins");
    std::strcpy(out, "untouched");
    c.expectInt(api.SortList("", out), -1, "SortList empty");
    c.expectText(out, "untouched", "SortList empty buffer");
    c.expectInt(api.SortList2("pear,apple,fig,apple", out), 0, "SortList2");
    c.expectText(out, "apple,fig,pear", "SortList2 byte order, repeats dropped");
    api.SortList2("\xe8x,zeta,,Zeta", out);
    c.expectText(out, ",Zeta,zeta,\xe8x", "SortList2 unsigned bytes");
    std::strcpy(out, "untouched");
    c.expectInt(api.SortList2("", out), -1, "SortList2 empty");
    c.expectText(out, "untouched", "SortList2 empty buffer");
}

}  // namespace test
