// What a long run of a tool is doing, on stderr: on a terminal once the run
// has lasted a second, at most once a second, in one line rewritten; asked
// for (--progress) into a log, a line each second and one at the end of
// each phase.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "encoding.h"

namespace tools {

class Progress {
public:
    Progress(std::string tool, bool asked)
        : tool_(std::move(tool)),
          terminal_(!asked && stderrIsTerminal()),
          asked_(asked),
          start_(Clock::now()),
          last_(start_) {}
    ~Progress() { end(); }
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // `done` of `total` (0: not known) of `phase`; `detail` after it.
    void update(const std::string &phase, uint64_t done, uint64_t total,
                const std::string &detail = {}) {
        if (!terminal_ && !asked_) return;
        phase_ = phase;
        line_ = total != 0 ? phase + ": " + std::to_string(done * 100 / total) + "%" : phase;
        if (!detail.empty()) line_ += " (" + detail + ")";
        const auto now = Clock::now();
        if (now - last_ < std::chrono::seconds(1) || now - start_ < std::chrono::seconds(1)) return;
        last_ = now;
        show();
    }
    // The phase has ended: its last line, in a log.
    void finished(const std::string &phase, const std::string &detail = {}) {
        if (!asked_) return;
        line_ = phase + ": done";
        if (!detail.empty()) line_ += " (" + detail + ")";
        show();
    }
    // Before the tool's own output: the terminal's line ends.
    void end() {
        if (shown_ && terminal_) std::fputs("\n", stderr);
        shown_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    void show() {
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        std::fprintf(stderr, "%s%s: %s, %.0f s%s", terminal_ ? "\r\x1b[K" : "", tool_.c_str(),
                     line_.c_str(), seconds, terminal_ ? "" : "\n");
        std::fflush(stderr);
        shown_ = true;
    }

    std::string tool_;
    bool terminal_, asked_;
    Clock::time_point start_, last_;
    std::string phase_, line_;
    bool shown_ = false;
};

}  // namespace tools
