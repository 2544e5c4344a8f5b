// Reading a large route file (2,000 articles x 200 shops) against a
// baseline that reads the same file's bytes the same way and only splits
// them into cells at separators and line ends. Also the same two from
// memory, without the read, and a Windows-1252 file. Prints reader /
// baseline.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "day/route_file.h"
#include "ratio_reporter.h"

namespace {

constexpr int kArticles = 2000;
constexpr int kShops = 200;

// A route as the office would save it: orders of 0..30 with about a third
// of the cells empty, a quarter of the loads empty, Swedish names.
std::string RouteFileText(bool windows1252) {
    const char* const breads[] = {"Skivad J.F.", "Jätterasker",   "Lyxfranska",      "Rasker",
                                  "Vitabygrova", "Leva",          "Gräddad längtan", "Limpa",
                                  "Kanelbulle",  "Rågbröd Öland", "Hönökaka Åsa",    "Knäcke"};
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> order(0, 30);
    std::uniform_int_distribution<int> roll(0, 11);
    std::string text = "Artikel;Lager";
    for (int k = 1; k <= kShops; ++k) text += ";Butik " + std::to_string(k) + " Söder";
    text += "\r\n";
    for (int a = 1; a <= kArticles; ++a) {
        std::string line = std::to_string(100 + a) + " " + breads[a % 12];
        std::string orders;
        int sum = 0;
        for (int k = 1; k <= kShops; ++k) {
            orders += ';';
            if (roll(gen) < 4) continue;
            const int best = order(gen);
            sum += best;
            orders += std::to_string(best);
        }
        line += ';';
        if (roll(gen) >= 3) line += std::to_string(sum + roll(gen));
        text += line + orders + "\r\n";
    }
    if (!windows1252) return text;
    // å ä ö Å Ä Ö as single bytes.
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0xC3) {
            bytes += static_cast<char>(static_cast<unsigned char>(text[++i]) + 0x40);
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

// A fresh folder under /tmp holding the benchmark's files.
class TempFiles {
public:
    TempFiles() {
        char pattern[] = "/tmp/route_file_bench.XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
    }
    TempFiles(const TempFiles&) = delete;
    TempFiles& operator=(const TempFiles&) = delete;
    ~TempFiles() {
        for (const std::string& file : files_) std::remove(file.c_str());
        std::remove(dir_.c_str());
    }

    std::string Write(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        files_.push_back(path);
        return path;
    }

private:
    std::string dir_;
    std::vector<std::string> files_;
};

// The least any reader must do: find every cell.
void SplitCells(std::string_view text, std::vector<std::string_view>& cells) {
    cells.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ';' || c == '\n' || c == '\r') {
            cells.emplace_back(text.data() + start, i - start);
            start = i + 1;
        }
    }
    if (start < text.size()) cells.emplace_back(text.data() + start, text.size() - start);
}

void BM_ReadRouteFile(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        route::RouteSheet sheet = day::ReadRouteFile(path);
        benchmark::DoNotOptimize(sheet.orders.back().back());
    }
}

void BM_BaselineFile(benchmark::State& state, const std::string& path) {
    std::vector<std::string_view> cells;
    for (auto _ : state) {
        const std::string bytes = day::ReadFileBytes(path, path);
        SplitCells(bytes, cells);
        benchmark::DoNotOptimize(cells.back().data());
    }
}

void BM_ParseRouteFile(benchmark::State& state, const std::string& bytes) {
    for (auto _ : state) {
        route::RouteSheet sheet = day::ParseRouteFile(bytes, "bench.csv");
        benchmark::DoNotOptimize(sheet.orders.back().back());
    }
}

void BM_BaselineMemory(benchmark::State& state, const std::string& bytes) {
    std::vector<std::string_view> cells;
    for (auto _ : state) {
        SplitCells(bytes, cells);
        benchmark::DoNotOptimize(cells.back().data());
    }
}

int Run(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::string utf8 = RouteFileText(false);
    const std::string cp1252 = RouteFileText(true);
    TempFiles files;
    const std::string utf8Path = files.Write("route.csv", utf8);
    const std::string cp1252Path = files.Write("route-1252.csv", cp1252);
    // A file the reader refuses would measure nothing.
    day::ReadRouteFile(utf8Path);
    day::ReadRouteFile(cp1252Path);

    const auto ms = benchmark::kMillisecond;
    benchmark::RegisterBenchmark("ReadRouteFile/utf8", BM_ReadRouteFile, utf8Path)->Unit(ms);
    benchmark::RegisterBenchmark("BaselineFile/utf8", BM_BaselineFile, utf8Path)->Unit(ms);
    benchmark::RegisterBenchmark("ReadRouteFile/1252", BM_ReadRouteFile, cp1252Path)->Unit(ms);
    benchmark::RegisterBenchmark("BaselineFile/1252", BM_BaselineFile, cp1252Path)->Unit(ms);
    benchmark::RegisterBenchmark("ParseRouteFile/utf8", BM_ParseRouteFile, utf8)->Unit(ms);
    benchmark::RegisterBenchmark("BaselineMemory/utf8", BM_BaselineMemory, utf8)->Unit(ms);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nRoute file reader / baseline (same bytes read, split into cells only)\n");
    std::printf("%d articles x %d shops, %zu bytes\n", kArticles, kShops, utf8.size());
    reporter.PrintRatio("file, UTF-8", "ReadRouteFile/utf8", "BaselineFile/utf8", 3.0);
    reporter.PrintRatio("file, Windows-1252", "ReadRouteFile/1252", "BaselineFile/1252", 3.0);
    reporter.PrintRatio("from memory, UTF-8", "ParseRouteFile/utf8", "BaselineMemory/utf8", 3.0);
    reporter.PrintCpuRatio("file, UTF-8, CPU", "ReadRouteFile/utf8", "BaselineFile/utf8");
    reporter.PrintCpuRatio("file, Windows-1252, CPU", "ReadRouteFile/1252", "BaselineFile/1252");
    reporter.PrintCpuRatio("from memory, UTF-8, CPU", "ParseRouteFile/utf8", "BaselineMemory/utf8");
    benchmark::Shutdown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunReporting("route_file_bench", Run, argc, argv); }
