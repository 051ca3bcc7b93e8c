// Packing speed: 50 files of about 128 KiB in all, from the page cache,
// against plain copies of the same bytes; packing with gzip, and how much more
// of typical web files one image holds with it.
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

// Typical web files: Debian's Bootstrap 4 and jQuery, minified and not, and
// the pages of the plant test site.
const std::vector<std::string> kWebFiles = {
    "/usr/share/javascript/bootstrap4/css/bootstrap.min.css",
    "/usr/share/javascript/bootstrap4/js/bootstrap.bundle.min.js",
    "/usr/share/javascript/jquery/jquery.min.js",
    "/usr/share/javascript/bootstrap4/css/bootstrap.css",
    "/usr/share/javascript/jquery/jquery.js",
    KELVARIN_SOURCE_DIR "/tests/sites/plant/index.html",
    KELVARIN_SOURCE_DIR "/tests/sites/plant/about/index.html",
    KELVARIN_SOURCE_DIR "/tests/sites/plant/css/site.css",
    KELVARIN_SOURCE_DIR "/tests/sites/plant/js/app.js",
    KELVARIN_SOURCE_DIR "/tests/sites/plant/data/status.json",
    KELVARIN_SOURCE_DIR "/tests/sites/plant/img/logo.svg",
};

bool HaveWebFiles(benchmark::State& state) {
    for (const std::string& path : kWebFiles) {
        if (!std::filesystem::exists(path)) {
            state.SkipWithError("Debian's libjs-bootstrap4 and libjs-jquery are not installed");
            return false;
        }
    }
    return true;
}

kelvarin::PackRequest GzipRequest(const std::vector<std::string>& paths) {
    kelvarin::PackRequest request{kelvarin::PackFilesFor(paths), std::nullopt, {}};
    request.options.contentTypes = true;
    request.options.gzip = true;
    return request;
}

// A Bootstrap site near the capacity: the minified CSS and scripts and the
// pages, 390 KB that gzip stores in about 92 KB of the 128 KiB.
void BM_PackImageGzip(benchmark::State& state) {
    if (!HaveWebFiles(state)) {
        return;
    }
    std::vector<std::string> paths = {kWebFiles[0], kWebFiles[1], kWebFiles[2]};
    paths.insert(paths.end(), kWebFiles.begin() + 5, kWebFiles.end());
    const kelvarin::PackRequest request = GzipRequest(paths);
    std::vector<std::uint8_t> buffer(kelvarin::kImageCapacity, kelvarin::kFillByte);
    kelvarin::PackResult result;
    for (auto _ : state) {
        result = kelvarin::PackImageInto(request, buffer);
        benchmark::DoNotOptimize(buffer.data());
    }
    std::uint64_t raw = 0;
    for (const kelvarin::PackedFile& file : result.files) {
        raw += file.size;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * raw));
    state.counters["raw_bytes"] = static_cast<double>(raw);
    state.counters["image_bytes"] = static_cast<double>(result.length);
    state.counters["files_packed"] = result.Packed();
}
BENCHMARK(BM_PackImageGzip)->Unit(benchmark::kMillisecond);

// Raw bytes of files one image holds: the typical web files are offered in
// turn, again and again, each kept when it still fits, until a whole round
// adds none.
std::uint64_t RawBytesThatFit(bool gzip) {
    std::vector<std::string> kept;
    std::uint64_t raw = 0;
    for (bool added = true; added;) {
        added = false;
        for (const std::string& offered : kWebFiles) {
            std::vector<std::string> paths = kept;
            paths.push_back(offered);
            kelvarin::PackRequest request = GzipRequest(paths);
            request.options.gzip = gzip;
            // Each copy under a name of its own, as a site's files are.
            for (std::size_t k = 0; k < request.files.size(); ++k) {
                request.files[k].urlName = "/" + std::to_string(k) + request.files[k].urlName;
            }
            const kelvarin::PackResult result = kelvarin::PackImage(request);
            if (result.Skipped() == 0) {
                kept = std::move(paths);
                raw += result.files.back().size;
                added = true;
            }
        }
    }
    return raw;
}

// The capacity gain: how many raw bytes of typical web files one image holds
// with gzip, against without.
void BM_GzipCapacityGain(benchmark::State& state) {
    if (!HaveWebFiles(state)) {
        return;
    }
    std::uint64_t plain = 0;
    std::uint64_t compressed = 0;
    for (auto _ : state) {
        plain = RawBytesThatFit(false);
        compressed = RawBytesThatFit(true);
    }
    state.counters["raw_bytes_plain"] = static_cast<double>(plain);
    state.counters["raw_bytes_gzip"] = static_cast<double>(compressed);
    state.counters["gain"] = static_cast<double>(compressed) / static_cast<double>(plain);
}
BENCHMARK(BM_GzipCapacityGain)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
