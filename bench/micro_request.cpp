// Per-request work above the sockets: reading a typical request and mapping its URL.
#include <benchmark/benchmark.h>

#include <string>

#include "content/url_path.h"
#include "server/request_reader.h"

namespace {

const std::string kRequest =
    "GET /docs/page.html HTTP/1.0\r\nHost: 127.0.0.1:8080\r\nUser-Agent: ApacheBench/2.3\r\n"
    "Accept: */*\r\nAccept-Language: en\r\nAccept-Encoding: gzip\r\nConnection: close\r\n\r\n";

void ReadRequest(benchmark::State& state) {
    for (auto _ : state) {
        qv::server::RequestReader reader;
        benchmark::DoNotOptimize(reader.Feed(kRequest));
        benchmark::DoNotOptimize(reader.request().path.data());
    }
}

void MapUrl(benchmark::State& state) {
    const std::string line = "GET /docs/sub/page.html?x=1 HTTP/1.0";
    for (auto _ : state) {
        std::string path = qv::content::MapUrlToPath(line, 5);
        benchmark::DoNotOptimize(path.data());
    }
}

}  // namespace

BENCHMARK(ReadRequest);
BENCHMARK(MapUrl);
BENCHMARK_MAIN();
