// Stand-in for libFuzzer where only g++ is at hand: runs the harness over a
// corpus, then over seeded random mutations of it. Takes the libFuzzer flags
// it understands (-runs=, -max_total_time=, -seed=, -max_len=,
// -artifact_prefix=) so one command line serves both builds. No coverage
// feedback: mutations stack on a pool that grows from earlier mutations.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __sanitizer_set_death_callback(void (*callback)(void));
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// What a crash handler needs, set up before any input runs: a handler may
// only use async-signal-safe calls.
const uint8_t *currentInput = nullptr;
size_t currentInputSize = 0;
char crashPath[4096] = {};
volatile sig_atomic_t inputSaved = 0;

void saveCurrentInput() {
    if (inputSaved || currentInput == nullptr) return;
    inputSaved = 1;
    const int fd = ::open(crashPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    size_t done = 0;
    while (done < currentInputSize) {
        const ssize_t n = ::write(fd, currentInput + done, currentInputSize - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    static const char note[] = "\n== failing input written to ";
    [[maybe_unused]] ssize_t w = ::write(2, note, sizeof note - 1);
    w = ::write(2, crashPath, std::strlen(crashPath));
    w = ::write(2, "\n", 1);
}

void onFatalSignal(int sig) {
    saveCurrentInput();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// Runs one input from its own exact-size heap block, so the sanitizers see
// any read past its end; an empty input still gets a valid pointer, as
// libFuzzer gives.
void runOne(const Bytes &input) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[input.empty() ? 1 : input.size()]);
    if (!input.empty()) std::memcpy(copy.get(), input.data(), input.size());
    currentInput = copy.get();
    currentInputSize = input.size();
    LLVMFuzzerTestOneInput(copy.get(), input.size());
    currentInput = nullptr;
    currentInputSize = 0;
}

bool readFile(const std::filesystem::path &path, Bytes &out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// Byte values and fragments that the parsers under test treat specially.
const std::string_view kTokens[] = {
    ",",     ":",  "\0", "\r", "\n",   "\r\n",        "\x1a",       "\xff", "\x80",   " ",
    "\t",    "-",  "+",  "0",  "9",    "-2147483648", "4294967297", "EE",   "MM",     "**",
    "EE;MM", "mM", "'",  "\"", "\xc3", "\xcc",        ",,",         "::",   "\r\r\n", "\xe8"};

class Mutator {
public:
    explicit Mutator(uint64_t seed) : rng_(seed) {}

    size_t below(size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(rng_);
    }
    uint8_t byte() { return static_cast<uint8_t>(below(256)); }

    void mutate(Bytes &b, const std::vector<Bytes> &pool, size_t maxLen) {
        const size_t steps = 1 + below(6);
        for (size_t s = 0; s < steps; ++s) step(b, pool);
        if (b.size() > maxLen) b.resize(maxLen);
    }

    Bytes random(size_t maxLen) {
        Bytes b(below(std::min<size_t>(maxLen, 64) + 1));
        // Mostly a small alphabet, so the separators and digits meet often.
        static const char alphabet[] = "ab:,09- \r\n";
        for (auto &c : b)
            c = below(4) == 0 ? byte() : static_cast<uint8_t>(alphabet[below(sizeof alphabet - 1)]);
        return b;
    }

private:
    void step(Bytes &b, const std::vector<Bytes> &pool) {
        switch (below(9)) {
        case 0:  // flip a bit
            if (!b.empty()) b[below(b.size())] ^= static_cast<uint8_t>(1u << below(8));
            break;
        case 1:  // set a byte
            if (!b.empty()) b[below(b.size())] = byte();
            break;
        case 2:  // insert bytes
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(below(b.size() + 1)), 1 + below(4),
                     byte());
            break;
        case 3: {  // erase a stretch
            if (b.empty()) break;
            const size_t at = below(b.size());
            const size_t n = 1 + below(std::min<size_t>(b.size() - at, 16));
            b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                    b.begin() + static_cast<std::ptrdiff_t>(at + n));
            break;
        }
        case 4:
        case 5: {  // insert a token
            const std::string_view t = kTokens[below(std::size(kTokens))];
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(below(b.size() + 1)), t.begin(),
                     t.end());
            break;
        }
        case 6: {  // copy a stretch elsewhere, possibly many times
            if (b.empty()) break;
            const size_t at = below(b.size());
            const size_t n = 1 + below(std::min<size_t>(b.size() - at, 64));
            const Bytes piece(b.begin() + static_cast<std::ptrdiff_t>(at),
                              b.begin() + static_cast<std::ptrdiff_t>(at + n));
            const size_t times = below(8) == 0 ? 1 + below(64) : 1;
            for (size_t t = 0; t < times; ++t)
                b.insert(b.begin() + static_cast<std::ptrdiff_t>(below(b.size() + 1)),
                         piece.begin(), piece.end());
            break;
        }
        case 7: {  // splice in part of another input
            if (pool.empty()) break;
            const Bytes &other = pool[below(pool.size())];
            if (other.empty()) break;
            const size_t at = below(other.size());
            const size_t n = 1 + below(other.size() - at);
            b.insert(b.begin() + static_cast<std::ptrdiff_t>(below(b.size() + 1)),
                     other.begin() + static_cast<std::ptrdiff_t>(at),
                     other.begin() + static_cast<std::ptrdiff_t>(at + n));
            break;
        }
        default:  // cut the end
            if (!b.empty()) b.resize(below(b.size() + 1));
            break;
        }
    }

    std::mt19937_64 rng_;
};

bool flagValue(std::string_view arg, std::string_view name, std::string &value) {
    if (arg.substr(0, name.size()) != name) return false;
    value = std::string(arg.substr(name.size()));
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    uint64_t runs = 20000;
    double maxSeconds = 0;  // 0: no limit
    uint64_t seed =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    size_t maxLen = 4096;
    std::string artifactPrefix = "./";
    std::vector<std::filesystem::path> inputs;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        std::string v;
        // A negative count means no limit, as for libFuzzer.
        if (flagValue(arg, "-runs=", v))
            runs = v.starts_with("-") ? UINT64_MAX : std::strtoull(v.c_str(), nullptr, 10);
        else if (flagValue(arg, "-max_total_time=", v))
            maxSeconds = std::strtod(v.c_str(), nullptr);
        else if (flagValue(arg, "-seed=", v))
            seed = std::strtoull(v.c_str(), nullptr, 10);
        else if (flagValue(arg, "-max_len=", v))
            maxLen = std::strtoull(v.c_str(), nullptr, 10);
        else if (flagValue(arg, "-artifact_prefix=", v))
            artifactPrefix = v;
        else if (arg.starts_with("-"))
            std::fprintf(stderr, "ignoring flag %s\n", argv[i]);
        else
            inputs.emplace_back(arg);
    }

    // Absolute: a harness may change the current folder.
    if (!artifactPrefix.empty() && artifactPrefix[0] != '/')
        artifactPrefix = (std::filesystem::current_path() / artifactPrefix).string();
    std::snprintf(crashPath, sizeof crashPath, "%scrash-seed%llu", artifactPrefix.c_str(),
                  static_cast<unsigned long long>(seed));
    for (int sig : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL}) ::signal(sig, onFatalSignal);
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_set_death_callback(saveCurrentInput);
#endif

    // Files named on the command line only replay them, as libFuzzer does.
    std::vector<Bytes> pool;
    bool onlyFiles = !inputs.empty();
    for (const auto &path : inputs) {
        if (std::filesystem::is_directory(path)) {
            onlyFiles = false;
            std::vector<std::filesystem::path> files;
            for (const auto &entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file()) files.push_back(entry.path());
            std::sort(files.begin(), files.end());  // a fixed order keeps runs reproducible
            for (const auto &file : files) {
                Bytes b;
                if (readFile(file, b)) pool.push_back(std::move(b));
            }
        } else {
            Bytes b;
            if (!readFile(path, b)) {
                std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
                return 2;
            }
            pool.push_back(std::move(b));
        }
    }

    std::fprintf(stderr, "seed %llu, %zu corpus inputs", static_cast<unsigned long long>(seed),
                 pool.size());
    if (!onlyFiles && runs != UINT64_MAX)
        std::fprintf(stderr, ", up to %llu runs", static_cast<unsigned long long>(runs));
    if (!onlyFiles && maxSeconds > 0) std::fprintf(stderr, ", up to %g s", maxSeconds);
    std::fprintf(stderr, "\n");
    for (const Bytes &b : pool) runOne(b);
    if (onlyFiles) {
        std::fprintf(stderr, "replayed %zu inputs\n", pool.size());
        return 0;
    }
    runOne(Bytes{});

    Mutator mutator(seed);
    const size_t corpusSize = pool.size();
    constexpr size_t kPoolLimit = 2048;
    const auto start = std::chrono::steady_clock::now();
    uint64_t done = 0;
    for (; done < runs; ++done) {
        if (maxSeconds > 0 && (done & 63) == 0) {
            const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
            if (spent.count() >= maxSeconds) break;
        }
        Bytes b;
        if (pool.empty() || mutator.below(16) == 0) {
            b = mutator.random(maxLen);
        } else {
            b = pool[mutator.below(pool.size())];
            mutator.mutate(b, pool, maxLen);
        }
        runOne(b);
        // Keep some results as parents, so mutations compound; the corpus
        // itself is never evicted.
        if (mutator.below(8) == 0) {
            if (pool.size() < kPoolLimit)
                pool.push_back(std::move(b));
            else if (pool.size() > corpusSize)
                pool[corpusSize + mutator.below(pool.size() - corpusSize)] = std::move(b);
        }
    }
    const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "done: %llu runs in %.1f s, no failure (seed %llu)\n",
                 static_cast<unsigned long long>(done), spent.count(),
                 static_cast<unsigned long long>(seed));
    return 0;
}
