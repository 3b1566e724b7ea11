// WebAccess against the obvious baseline: the curl command-line tool making the same requests
// in one process. Both post a 10 KB form 1000 times, one connection per request, to a local
// peer that runs in a child process so that its threads share neither the client's memory
// nor its measurements; compare the medians. A third benchmark reports the peak memory of
// 100 concurrent calls.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/local_peer.h"
#include "web/web_access.h"

extern char** environ;

namespace {

constexpr int kRequests = 1000;
constexpr int kConcurrentCalls = 100;
const std::string kPath = "/api.php";

// The local peer, serving in a forked child until this process ends or stops it.
class PeerProcess {
public:
    PeerProcess() {
        int ports[2];
        if (::pipe(ports) != 0) return;
        const pid_t parent = ::getpid();
        child_ = ::fork();
        if (child_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(0);
            ::close(ports[0]);
            {
                test_support::LocalPeer peer({test_support::Reply::Full(200, "{\"str\":\"ok\"}")});
                const int port = peer.Port();
                (void)!::write(ports[1], &port, sizeof port);
                ::pause();  // until the parent ends it
            }
            ::_exit(0);
        }
        ::close(ports[1]);
        if (child_ > 0 && ::read(ports[0], &port_, sizeof port_) != sizeof port_) port_ = 0;
        ::close(ports[0]);
    }
    ~PeerProcess() {
        if (child_ <= 0) return;
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }
    int Port() const { return port_; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + kPath; }

private:
    pid_t child_ = -1;
    int port_ = 0;
};

PeerProcess* peer = nullptr;

std::string Form() {
    std::string form = "str=";
    while (form.size() < 10 * 1024) form += "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo%2B";
    form.resize(10 * 1024 - 38);
    return form + "&sign=0123456789abcdef0123456789abcdef";
}

long PeakRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_HundredConcurrentCalls(benchmark::State& state) {
    const std::string url = peer->Url();
    const std::string form = Form();
    const long before = PeakRssKb();
    for (auto _ : state) {
        std::vector<std::thread> threads;
        std::vector<size_t> sizes(kConcurrentCalls);
        for (int i = 0; i < kConcurrentCalls; ++i) {
            threads.emplace_back([&, i] { sizes[i] = WebAccess(url, 1, form).size(); });
        }
        for (std::thread& thread : threads) thread.join();
        for (size_t size : sizes) {
            if (size == 0) state.SkipWithError("a call got no body");
        }
    }
    state.counters["peak_rss_kb"] = static_cast<double>(PeakRssKb());
    state.counters["peak_rss_growth_kb"] = static_cast<double>(PeakRssKb() - before);
}
BENCHMARK(BM_HundredConcurrentCalls)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WebAccessThousandPosts(benchmark::State& state) {
    const std::string url = peer->Url();
    const std::string form = Form();
    for (auto _ : state) {
        for (int i = 0; i < kRequests; ++i) {
            const Bytes body = WebAccess(url, 1, form);
            if (body.empty()) state.SkipWithError("no body");
            benchmark::DoNotOptimize(body.data());
        }
    }
    state.counters["requests_per_s"] = benchmark::Counter(
        static_cast<double>(kRequests), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WebAccessThousandPosts)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same requests from one run of the curl tool: the same header lines and agent, the form
// from a file, every URL in one config file, replies discarded.
void BM_CurlToolThousandPosts(benchmark::State& state) {
    const std::string url = peer->Url();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("web-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string formFile = (folder / "form").string();
    const std::string configFile = (folder / "config").string();
    {
        std::ofstream(formFile, std::ios::binary) << Form();
        std::ofstream config(configFile);
        config << "silent\nnoproxy = \"*\"\n"
               << "user-agent = \"" << DefaultUserAgent << "\"\n"
               << "header = \"Accept: */*\"\n"
               << "header = \"Referer: " << url << "\"\n"
               << "header = \"Accept-Language: zh-cn\"\n"
               << "header = \"Content-Type: application/x-www-form-urlencoded\"\n"
               << "data-binary = \"@" << formFile << "\"\n";
        for (int i = 0; i < kRequests; ++i) {
            config << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
        }
    }
    std::vector<std::string> args = {"curl", "-K", configFile};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t child = -1;
        int status = -1;
        if (::posix_spawnp(&child, "curl", nullptr, nullptr, argv.data(), environ) != 0 ||
            ::waitpid(child, &status, 0) != child || status != 0) {
            state.SkipWithError("the curl tool failed");
        }
    }
    state.counters["requests_per_s"] = benchmark::Counter(
        static_cast<double>(kRequests), benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_CurlToolThousandPosts)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    PeerProcess process;
    if (process.Port() == 0) {
        std::fprintf(stderr, "the local peer did not start\n");
        return 1;
    }
    peer = &process;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    peer = nullptr;
    return 0;
}
