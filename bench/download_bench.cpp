// A full 128 KiB download to kelvarin-device on loopback, against the floor:
// a bare client that sends the same frames and reads each reply with
// blocking calls and nothing else (one request in flight, as the download).
#include "device_process.h"
#include "modbus_frame.h"
#include "download.h"
#include "packer.h"
#include "readback.h"
#include "socket_link.h"
#include "web_image.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// Ignores the outcome of every chunk.
class NoChunks : public kelvarin::DownloadObserver {
  public:
    void OnChunk(const kelvarin::ChunkOutcome&) override {}
};

// The device and an image that fills the whole 131072 bytes.
struct Setup {
    Setup() : device(KELVARIN_DEVICE_PATH) {
        port = device.ModbusPort();
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kelvarin-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        // "/a.bin": contents start at 99; 99 + 130969 + 4 = 131072.
        std::string data(130969, 'w');
        std::ofstream(dir + "/a.bin", std::ios::binary).write(data.data(), data.size());
        image =
            kelvarin::PackImage({kelvarin::PackFilesFor({dir + "/a.bin"}), std::nullopt, {}}).image;
        length = image.size();
        for (std::size_t at = 0; at < length; at += 128) {
            std::vector<std::uint8_t> frame(kelvarin::modbus::kRecordDataAt + 128);
            kelvarin::modbus::EncodeWriteFileRecord(frame.data(), kelvarin::modbus::PositionOf(at),
                                                    image.data() + at, 128);
            frames.push_back(std::move(frame));
        }
    }
    ~Setup() { std::filesystem::remove_all(dir); }

    kelvarin::test::DeviceProcess device;
    int port = 0;
    std::string dir;
    std::vector<std::uint8_t> image;
    std::size_t length = 0;
    std::vector<std::vector<std::uint8_t>> frames;
};

Setup& TheSetup() {
    static Setup setup;
    return setup;
}

void BM_DownloadImage(benchmark::State& state) {
    Setup& setup = TheSetup();
    NoChunks chunks;
    const kelvarin::LinkTimeouts timeouts;
    for (auto _ : state) {
        kelvarin::CSocketLink link;
        link.Open(0, false, timeouts);
        if (!link.Connect("127.0.0.1", setup.port)) {
            state.SkipWithError("cannot connect to kelvarin-device");
            break;
        }
        kelvarin::DownloadReport report =
            kelvarin::DownloadImage(setup.image, link, timeouts, chunks);
        state.counters["requests"] = report.chunks;
        if (!report.Succeeded() || report.chunks != 1024) {
            state.SkipWithError("the download failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.length));
}
BENCHMARK(BM_DownloadImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_BareClientFloor(benchmark::State& state) {
    Setup& setup = TheSetup();
    std::vector<std::uint8_t> reply(300);
    for (auto _ : state) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<std::uint16_t>(setup.port));
        peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
            state.SkipWithError("cannot connect to kelvarin-device");
            ::close(fd);
            break;
        }
        for (const auto& frame : setup.frames) {
            ::send(fd, frame.data(), frame.size(), 0);
            std::size_t got = 0;
            while (got < frame.size()) {
                ssize_t n = ::recv(fd, reply.data() + got, frame.size() - got, 0);
                if (n <= 0) {
                    break;
                }
                got += static_cast<std::size_t>(n);
            }
        }
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.length));
}
BENCHMARK(BM_BareClientFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Reading the full image back and comparing it, beside the download above.
void BM_VerifyImage(benchmark::State& state) {
    Setup& setup = TheSetup();
    NoChunks chunks;
    const kelvarin::LinkTimeouts timeouts;
    kelvarin::CSocketLink link;
    link.Open(0, false, timeouts);
    if (!link.Connect("127.0.0.1", setup.port) ||
        !kelvarin::DownloadImage(setup.image, link, timeouts, chunks).Succeeded()) {
        state.SkipWithError("cannot download to kelvarin-device");
        return;
    }
    int requests = 0;
    for (auto _ : state) {
        const kelvarin::VerifyReport report = kelvarin::VerifyImage(setup.image, link, timeouts);
        if (report.outcome != kelvarin::VerifyOutcome::kEqual) {
            state.SkipWithError("the read-back differs");
            break;
        }
        requests = report.requests;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup.length));
    state.counters["requests"] = requests;
}
BENCHMARK(BM_VerifyImage)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
