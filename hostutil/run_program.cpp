#include "run_program.h"

#include <cerrno>
#include <cstring>

#include "export_guard.h"
#include "hostutil.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace hostutil {

namespace {

constexpr const char *kExtensions[] = {".com", ".exe", ".bat", ".cmd"};

// The path to start, or empty when nothing of that name exists.
std::string resolve(platform::Platform &os, const char *programPath) {
    std::string path = programPath;
    size_t folderEnd = path.find_last_of("\\/");
    if (folderEnd == std::string::npos) folderEnd = path.find(':');
    std::string fileName = folderEnd == std::string::npos ? path : path.substr(folderEnd + 1);
    // A bare name is looked for here only, never on the search path.
    if (folderEnd == std::string::npos) path = platform::kCurrentFolderPrefix + path;

    if (fileName.find('.') != std::string::npos) return os.pathExists(path.c_str()) ? path : "";
    for (const char *extension : kExtensions) {
        std::string candidate = path + extension;
        if (os.pathExists(candidate.c_str())) return candidate;
    }
    return "";
}

}  // namespace

std::string buildCommandLine(const char *const words[5]) {
    if (!words[0] || !words[0][0]) return "";
    std::string tail;
    for (int i = 1; i < 5 && words[i]; ++i) {
        if (i > 1) tail += ' ';
        tail += words[i];
    }
    std::string line = words[0];
    if (!tail.empty()) line += ' ' + tail;
    return line;
}

int32_t runProgram(const char *programPath, const char *const words[5]) {
    if (!programPath) return EINVAL;
    platform::Platform &os = platform::current();

    std::string path = resolve(os, programPath);
    if (path.empty()) return ENOENT;
    std::string commandLine = buildCommandLine(words);

    platform::ProcessInfo info;
    if (int error = os.createProcess(path.c_str(), commandLine.c_str(), info)) return error;
    os.waitForExit(info.process);
    // The exit code is read, as it always was, and not reported: RunPrg
    // tells only whether the program could be started and waited for.
    os.exitCode(info.process);
    os.closeHandle(info.process);
    os.closeHandle(info.thread);
    return HOSTUTIL_RUN_DONE;
}

}  // namespace hostutil

extern "C" HOSTUTIL_API int32_t HOSTUTIL_CALL RunPrg(const char *programPath, const char *cmdArg0,
                                                     const char *cmdArg1, const char *cmdArg2,
                                                     const char *cmdArg3, const char *cmdArg4) {
    const char *const words[5] = {cmdArg0, cmdArg1, cmdArg2, cmdArg3, cmdArg4};
    return hostutil::guardExport(hostutil::fallback::kRunPrg,
                                 [&] { return hostutil::runProgram(programPath, words); });
}
