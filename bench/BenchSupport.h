#pragma once
// Helpers shared by the benchmarks: timing, medians, child processes and the
// sample files made by vidra-db.
#include <QString>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start);
double median(std::vector<double> v);
[[noreturn]] void die(const std::string& message);
// Runs a program and waits for it; stdout goes to /dev/null unless kept.
// Returns the exit code, or -1 when it could not run or died of a signal.
int run(const std::vector<std::string>& argv, bool keepStdout = false);
// Runs a program and returns what it wrote on stdout.
std::optional<std::string> capture(const std::vector<std::string>& argv);
long long sqliteCount(const QString& path);
// The sample file of that many rows in the folder, made by vidra-db if missing.
QString ensureSample(const QString& folder, const std::string& tool, int rows);
// 1000000 as "1 000 000".
std::string group(long long n);
std::string mb(double bytes);
// A "VmXXX:  1234 kB" line of /proc/self/status, in bytes; -1 when unreadable.
long long procStatus(const char* key);

} // namespace bench
