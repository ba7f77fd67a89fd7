// Every area of the test host, in the order main runs them; each is defined
// in <area>_cases.cpp as void <area>Cases(const Setting &).
#pragma once

#include "runner.h"

#define HOST_AREAS(X) \
    X(textfind)       \
    X(storeTools)     \
    X(sortlist)       \
    X(vedivar)        \
    X(replchar)       \
    X(runProgram)     \
    X(setTime)        \
    X(binaryColumn)   \
    X(printFile)      \
    X(printerSelect)  \
    X(versionInfo)

namespace test {
#define DECLARE_AREA(area) void area##Cases(const Setting &setting);
HOST_AREAS(DECLARE_AREA)
#undef DECLARE_AREA
}  // namespace test
