// Packing speed: 50 files of about 128 KiB in all, from the page cache,
// against plain copies of the same bytes.
#include "files.h"
#include "packer.h"
#include "web_image.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kFiles = 50;
constexpr std::size_t kFileSize = 2500;  // 50 x 2500 = 125000 bytes of contents

// The sample files, written once into a temporary folder and removed at exit.
struct Site {
    Site() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kelvarin-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        std::string data(kFileSize, 'k');
        for (int i = 0; i < kFiles; ++i) {
            std::string path = dir + "/page" + std::to_string(i) + (i % 2 ? ".htm" : ".png");
            std::ofstream(path, std::ios::binary).write(data.data(), kFileSize);
            paths.push_back(path);
        }
        request.files = kelvarin::PackFilesFor(paths);
    }
    ~Site() { std::filesystem::remove_all(dir); }
    std::string dir;
    std::vector<std::string> paths;
    kelvarin::PackRequest request;
};

Site& TheSite() {
    static Site site;
    return site;
}

void BM_PackImage(benchmark::State& state) {
    Site& site = TheSite();
    std::vector<std::uint8_t> buffer(kelvarin::kImageCapacity, kelvarin::kFillByte);
    std::size_t length = 0;
    for (auto _ : state) {
        length = kelvarin::PackImageInto(site.request, buffer).length;
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
    state.counters["image_bytes"] = static_cast<double>(length);
}
BENCHMARK(BM_PackImage);

// The floor: opening and reading the same files into one buffer, no layout.
void BM_ReadFilesOnly(benchmark::State& state) {
    Site& site = TheSite();
    std::vector<std::uint8_t> buffer(kelvarin::kImageCapacity);
    for (auto _ : state) {
        std::size_t at = 0;
        for (const std::string& path : site.paths) {
            kelvarin::RegularFile file;
            file.Open(path);
            at += file.ReadFull(buffer.data() + at, file.Size());
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFiles * kFileSize));
}
BENCHMARK(BM_ReadFilesOnly);

// A plain memory copy of the same amount of bytes.
void BM_CopyBytes(benchmark::State& state) {
    std::vector<std::uint8_t> from(kFiles * kFileSize, 1);
    std::vector<std::uint8_t> to(kFiles * kFileSize);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * from.size()));
}
BENCHMARK(BM_CopyBytes);

}  // namespace

BENCHMARK_MAIN();
