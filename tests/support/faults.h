// The one way a test makes a platform operation fail: "fail the nth call of
// X with code C, once or for good".
#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace test {

// The operations of the platform seam that have a failure result; what the
// code means for each is the double's to say.
enum class Operation {
    OpenPrinter,
    StartDocPrinter,
    WritePrinter,
    EndDocPrinter,
    PrintDialog,
    PathExists,
    CreateProcess,
    SetLocalTime,
};

enum class Repeat { Once, ForGood };

class Faults {
public:
    // The `nth` call of `operation` from now (1: the next one) fails with
    // `code`; with Repeat::ForGood every later call fails too.
    void fail(Operation operation, int nth, uint32_t code, Repeat repeat = Repeat::Once) {
        plans_[operation] = Plan{calls_[operation] + nth, code, repeat};
    }

    // Counts one call of `operation`; the code it fails with, if it fails.
    std::optional<uint32_t> next(Operation operation) {
        const int call = ++calls_[operation];
        auto found = plans_.find(operation);
        if (found == plans_.end()) return std::nullopt;
        const Plan &plan = found->second;
        if (call == plan.call || (plan.repeat == Repeat::ForGood && call > plan.call))
            return plan.code;
        return std::nullopt;
    }

private:
    struct Plan {
        int call;
        uint32_t code;
        Repeat repeat;
    };
    std::map<Operation, int> calls_;
    std::map<Operation, Plan> plans_;
};

}  // namespace test
