// The test host's runner: the exports resolved by name, one Case per check
// with its list of failed expectations, and file helpers for the areas.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "exports_table.h"
#include "hostutil.h"
#include "printable.h"
#include "textfind.h"

namespace test {

// One slot per export, typed by the headers' declaration.
struct Exports {
#define EXPORT_SLOT(library, name, count) decltype(&::name) name;
    HOSTLIBS_EXPORTS(EXPORT_SLOT)
#undef EXPORT_SLOT
};
extern Exports api;

// Cases passed and failed so far.
extern int passed;
extern int failed;

// One case: a name and the list of expectations that did not hold.
class Case {
public:
    explicit Case(const char *name) : name_(name) {}
    Case(const Case &) = delete;
    Case &operator=(const Case &) = delete;
    ~Case() {
        if (problems_.empty()) {
            ++passed;
            std::printf("ok   %s\n", name_.c_str());
        } else {
            ++failed;
            std::printf("FAIL %s\n", name_.c_str());
            for (const auto &p : problems_) std::printf("       %s\n", p.c_str());
        }
        std::fflush(stdout);
    }
    bool expect(bool condition, const char *format, ...) __attribute__((format(printf, 3, 4))) {
        if (!condition) {
            char text[600];
            va_list args;
            va_start(args, format);
            std::vsnprintf(text, sizeof text, format, args);
            va_end(args);
            problems_.push_back(text);
        }
        return condition;
    }
    bool expectInt(long actual, long expected, const char *what) {
        return expect(actual == expected, "%s: got %ld, expected %ld", what, actual, expected);
    }
    bool expectText(const std::string &actual, const std::string &expected, const char *what) {
        return expect(actual == expected, "%s: got \"%s\", expected \"%s\"", what,
                      tools::printable(actual).c_str(), tools::printable(expected).c_str());
    }

private:
    std::string name_;
    std::vector<std::string> problems_;
};

// Loads both DLLs by name and resolves every export, as a host does.
bool loadLibraries();

// What the areas get from the command line.
struct Setting {
    std::string printer;     // a spooler printer whose port is a file
    std::string port;        // that file
    std::string connection;  // an ODBC connection string
};

bool writeFile(const std::string &path, const std::string &bytes);
bool readFile(const std::string &path, std::string &bytes);
// Every byte value, line ends of both kinds and 0x1A, longer than one
// 4096-byte transfer and not a multiple of it.
std::string binaryPattern(size_t size, unsigned seed);

}  // namespace test
