// The one way a test makes a call fail: "fail the nth call of X with code C,
// once or for good". X is any operation of an enum that names the calls of
// one seam: the platform's operations (Operation, below, through the
// platform double or a forwarding platform), Berkeley DB's store calls in
// textfind (textfind::StoreCall, through the store's fault hook).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <typeindex>
#include <utility>

namespace test {

// The operations of the platform seam that have a failure result; what the
// code means for each is the platform's to say (for Allocate and OpenFile,
// an errno value).
enum class Operation {
    Allocate,
    OpenFile,
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
    template <typename Call>
    void fail(Call operation, int nth, uint32_t code, Repeat repeat = Repeat::Once) {
        const Key key = keyOf(operation);
        plans_[key] = Plan{calls_[key] + nth, code, repeat};
    }

    // Counts one call of `operation`; the code it fails with, if it fails.
    template <typename Call>
    std::optional<uint32_t> next(Call operation) {
        const Key key = keyOf(operation);
        const int call = ++calls_[key];
        auto found = plans_.find(key);
        if (found == plans_.end()) return std::nullopt;
        const Plan &plan = found->second;
        if (call == plan.call || (plan.repeat == Repeat::ForGood && call > plan.call))
            return plan.code;
        return std::nullopt;
    }

    // Every plan ends; counting starts again.
    void clear() {
        calls_.clear();
        plans_.clear();
    }

private:
    using Key = std::pair<std::type_index, int>;
    template <typename Call>
    static Key keyOf(Call operation) {
        return {std::type_index(typeid(Call)), static_cast<int>(operation)};
    }
    struct Plan {
        int call;
        uint32_t code;
        Repeat repeat;
    };
    std::map<Key, int> calls_;
    std::map<Key, Plan> plans_;
};

}  // namespace test
