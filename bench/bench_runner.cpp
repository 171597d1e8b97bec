// Measures what the launcher costs a user, beside a direct start of the same target and a bare
// pass-through program: added start and exit latency (medians) and the working set while it
// waits, beside trivial programs that only sleep. Writes "name value" lines to the file given:
// bench_runner.exe runs output-file [baseline-launcher]. With a baseline (another build of the
// launcher), its start and exit are measured in the same interleaved rounds, under "baseline_"
// names. (Wine does not report another process's CPU times, so scripts/bench.sh reads those from
// Linux.)
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench_shared.h"

using namespace pelicor::bench;

namespace {

double g_ticksPerMs = 0;

std::wstring BinDir() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.rfind(L'\\'));
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

PROCESS_INFORMATION Start(const std::wstring& application, const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::fwprintf(stderr, L"cannot start %ls (%lu)\n", application.c_str(), GetLastError());
        ExitProcess(2);
    }
    CloseHandle(info.hThread);
    return info;
}

struct Way {
    const char* name;
    std::wstring application;
    std::wstring commandLine;
    std::vector<double> startMs;
    std::vector<double> exitMs;
};

void RunOnce(Way& way, volatile Stamps* stamps) {
    stamps->started = 0;
    stamps->exiting = 0;
    const LONGLONG before = Now();
    const PROCESS_INFORMATION info = Start(way.application, way.commandLine);
    WaitForSingleObject(info.hProcess, INFINITE);
    const LONGLONG ended = Now();
    CloseHandle(info.hProcess);
    way.startMs.push_back(static_cast<double>(stamps->started - before) / g_ticksPerMs);
    way.exitMs.push_back(static_cast<double>(ended - stamps->exiting) / g_ticksPerMs);
}

double WorkingSetMiB(HANDLE process) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    K32GetProcessMemoryInfo(process, &counters, sizeof(counters));
    return static_cast<double>(counters.WorkingSetSize) / (1024.0 * 1024.0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: bench_runner.exe runs output-file [baseline-launcher]\n");
        return 2;
    }
    const std::wstring baseline = argc > 3 ? argv[3] : L"";
    const int runs = _wtoi(argv[1]);
    const std::wstring outputPath = argv[2];
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;

    const std::wstring section = L"PelicorBench-" + std::to_wstring(GetCurrentProcessId());
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Stamps), section.c_str());
    auto* stamps =
        static_cast<volatile Stamps*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(Stamps)));
    SetEnvironmentVariableW(kSectionVariable, section.c_str());

    const std::wstring bin = BinDir();
    const std::wstring target = bin + L"\\bench_target.exe";
    const std::wstring passthrough = bin + L"\\bench_passthrough.exe";
    const std::wstring launcher = bin + L"\\PelicorLaunch64.exe";
    std::vector<Way> ways = {
        {"direct", target, Quoted(target), {}, {}},
        {"pass-through", passthrough, Quoted(passthrough) + L" " + Quoted(target), {}, {}},
        {"launcher", launcher, Quoted(launcher) + L" " + Quoted(target), {}, {}},
    };
    if (!baseline.empty())
        ways.push_back({"baseline", baseline, Quoted(baseline) + L" " + Quoted(target), {}, {}});
    // Two kinds of target, interleaved too: one that stays 200 ms, pumping messages as a windowed
    // program does, so that the exit is measured with the launcher's receiver window up, as it is
    // for any target that runs a while; and one that ends at once, which meets a receiver that
    // has only just started.
    std::vector<Way> atOnce = {ways[0], ways[2]};
    if (!baseline.empty()) atOnce.push_back(ways[3]);
    const auto round = [&]() {
        SetEnvironmentVariableW(kRunMsVariable, L"200");
        for (Way& way : ways) RunOnce(way, stamps);
        SetEnvironmentVariableW(kRunMsVariable, nullptr);
        for (Way& way : atOnce) RunOnce(way, stamps);
    };
    for (int warm = 0; warm < 3; ++warm) round();
    for (Way& way : ways) way.startMs.clear(), way.exitMs.clear();
    for (Way& way : atOnce) way.startMs.clear(), way.exitMs.clear();
    // Interleaved, so that drift in the machine's load touches every way alike.
    for (int run = 0; run < runs; ++run) round();
    const double bare = Median(ways[0].startMs);
    const double addedStart = Median(ways[2].startMs) - bare;
    const double passthroughStart = Median(ways[1].startMs) - bare;
    const double addedExit = Median(ways[2].exitMs) - Median(ways[0].exitMs);
    const double addedExitAtOnce = Median(atOnce[1].exitMs) - Median(atOnce[0].exitMs);

    // A target that runs ten seconds: the launcher's working set halfway, beside two programs
    // that only sleep: one with nothing but kernel32, one that has also brought up user32, as
    // any windowed program (and the launcher, for its receiver window) must.
    SetEnvironmentVariableW(kRunMsVariable, L"10000");
    stamps->started = 0;
    const PROCESS_INFORMATION waiting = Start(launcher, Quoted(launcher) + L" " + Quoted(target));
    const std::wstring sleeperPath = bin + L"\\bench_sleeper.exe";
    const PROCESS_INFORMATION sleeper = Start(sleeperPath, Quoted(sleeperPath));
    const PROCESS_INFORMATION windowedSleeper = Start(sleeperPath, Quoted(sleeperPath) + L" user32");
    Sleep(5000);
    const double launcherSet = WorkingSetMiB(waiting.hProcess);
    const double sleeperSet = WorkingSetMiB(sleeper.hProcess);
    const double windowedSleeperSet = WorkingSetMiB(windowedSleeper.hProcess);
    WaitForSingleObject(waiting.hProcess, INFINITE);
    for (const PROCESS_INFORMATION& p : {sleeper, windowedSleeper}) {
        TerminateProcess(p.hProcess, 0);
        CloseHandle(p.hProcess);
    }
    CloseHandle(waiting.hProcess);

    FILE* out = _wfopen(outputPath.c_str(), L"w");
    if (out == nullptr) return 1;
    std::fprintf(out, "runs %d\n", runs);
    std::fprintf(out, "bare_start_ms %.3f\n", bare);
    std::fprintf(out, "added_start_ms %.3f\n", addedStart);
    std::fprintf(out, "added_start_ratio %.3f\n", addedStart / bare);
    std::fprintf(out, "passthrough_added_start_ratio %.3f\n", passthroughStart / bare);
    std::fprintf(out, "added_exit_ms %.3f\n", addedExit);
    std::fprintf(out, "added_exit_at_once_ms %.3f\n", addedExitAtOnce);
    if (!baseline.empty()) {
        const double baselineStart = Median(ways[3].startMs) - bare;
        std::fprintf(out, "baseline_added_start_ms %.3f\n", baselineStart);
        std::fprintf(out, "baseline_added_start_ratio %.3f\n", baselineStart / bare);
        std::fprintf(out, "baseline_added_exit_ms %.3f\n", Median(ways[3].exitMs) - Median(ways[0].exitMs));
        std::fprintf(out, "baseline_added_exit_at_once_ms %.3f\n",
                     Median(atOnce[2].exitMs) - Median(atOnce[0].exitMs));
    }
    std::fprintf(out, "working_set_mib %.3f\n", launcherSet);
    std::fprintf(out, "sleeper_working_set_mib %.3f\n", sleeperSet);
    std::fprintf(out, "windowed_sleeper_working_set_mib %.3f\n", windowedSleeperSet);
    std::fclose(out);
    return 0;
}
