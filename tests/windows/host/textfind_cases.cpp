// textfind: ScanDB, ResSet and FindDB on stores built by the run script.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "runner.h"
#include "test_list.h"
#include "watcher.h"

namespace test {

namespace {

// The stores hold (record, category, text):
//   1 EE "Il gatto nero"   2 MM "Il cane bianco"   3 AB "Gatto e cane"
//   5 EE ""                7 mM "Casa rossa"
// and noused.txt holds IL and E.
const char *const kAll = "EE;MM;AB";

std::vector<std::string> drain() {
    std::vector<std::string> texts;
    char buffer[1024];
    for (int i = 0; i < 20; ++i) {
        std::memset(buffer, '#', sizeof buffer);
        int32_t r = api.ResSet(buffer);
        if (r == 0) break;
        texts.push_back(r == 1 ? std::string(buffer) : "result " + std::to_string(r));
    }
    return texts;
}

std::string joined(const std::vector<std::string> &v) {
    std::string s;
    for (const auto &x : v) s += (s.empty() ? "" : "|") + x;
    return s;
}

}  // namespace

void textfindCases(const Setting &) {
    {
        Case c("FindDB delivers unscrambled records, -3 for a missing one");
        char buffer[256];
        std::memset(buffer, '#', sizeof buffer);
        c.expectInt(api.FindDB(1, buffer), 1, "FindDB(1)");
        c.expectText(buffer, "Il gatto nero", "record 1");
        c.expect(buffer[14] == '#', "FindDB wrote past the terminator");
        std::memset(buffer, '#', sizeof buffer);
        c.expectInt(api.FindDB(5, buffer), 1, "FindDB(5)");
        c.expect(buffer[0] == 0 && buffer[1] == '#', "empty record is not a lone NUL");
        std::memset(buffer, '#', sizeof buffer);
        c.expectInt(api.FindDB(99, buffer), -3, "FindDB(99)");
        c.expect(buffer[0] == '#', "buffer touched for a missing record");
    }
    {
        Case c("ResSet on the empty result set gives 0");
        char buffer[16] = "untouched";
        c.expectInt(api.ResSet(buffer), 0, "ResSet");
        c.expectText(buffer, "untouched", "buffer");
    }
    {
        Case c("ScanDB any word: union, drained highest first");
        c.expectInt(api.ScanDB("gatto cane", 0, kAll), 3, "ScanDB");
        c.expectText(joined(drain()), "Gatto e cane|Il cane bianco|Il gatto nero", "records");
    }
    {
        Case c("ScanDB all words: intersection, case folded");
        c.expectInt(api.ScanDB("GATTO Cane", 1, kAll), 1, "ScanDB");
        c.expectText(joined(drain()), "Gatto e cane", "records");
    }
    {
        Case c("ScanDB drops stop words; a leading one is not the first word");
        c.expectInt(api.ScanDB("il gatto", 1, kAll), 2, "ScanDB");
        c.expectText(joined(drain()), "Gatto e cane|Il gatto nero", "records");
        c.expectInt(api.ScanDB("il e", 0, kAll), 0, "only stop words");
    }
    {
        Case c("ScanDB category selector filters postings");
        c.expectInt(api.ScanDB("gatto", 0, "EE"), 1, "selector EE");
        c.expectText(joined(drain()), "Il gatto nero", "records");
        c.expectInt(api.ScanDB("casa", 0, "**"), 1, "selector ** accepts mM");
        c.expectInt(api.ScanDB("casa", 0, "EE"), 0, "selector EE rejects mM");
    }
    {
        Case c("ScanDB separators and absent words");
        c.expectInt(api.ScanDB("gatto;'cane'", 0, kAll), 3, "separators split words");
        drain();
        c.expectInt(api.ScanDB("assente gatto", 1, kAll), 0, "absent first word, all words");
        c.expectInt(api.ScanDB("assente gatto", 0, kAll), 2, "absent word, any word");
        drain();
        c.expectInt(api.ScanDB("", 1, kAll), 0, "empty query");
    }
    {
        Case c("missing stores give -2 and keep the result set");
        c.expectInt(api.ScanDB("gatto", 0, kAll), 2, "ScanDB");
        char here[MAX_PATH];
        GetCurrentDirectoryA(sizeof here, here);
        CreateDirectoryA("empty", nullptr);
        SetCurrentDirectoryA("empty");
        c.expectInt(api.ScanDB("cane", 0, kAll), -2, "ScanDB without opere.idb");
        char buffer[64] = "";
        c.expectInt(api.FindDB(1, buffer), -2, "FindDB without opere.ddb");
        c.expectInt(api.ResSet(buffer), -2, "ResSet without opere.ddb");
        SetCurrentDirectoryA(here);
        c.expectText(joined(drain()), "Gatto e cane|Il gatto nero", "earlier result set");
    }
}

}  // namespace test
