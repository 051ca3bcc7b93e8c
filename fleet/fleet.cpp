// A pool of threads, one device each at a time.
#include "fleet.h"

#include "socket_link.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace kelvarin {

namespace {

// A download's chunks are reported by the result, not one by one.
class NoChunks : public DownloadObserver {
  public:
    void OnChunk(const ChunkOutcome&) override {}
};

TargetResult SendToOne(std::span<const std::uint8_t> image, const FleetTarget& target,
                       const FleetOptions& options) {
    TargetResult result;
    result.target = target;
    const auto start = std::chrono::steady_clock::now();
    CSocketLink link;
    result.connected =
        link.Open(0, false, options.timeouts) && link.Connect(target.address, target.port);
    if (result.connected) {
        NoChunks chunks;
        result.download = DownloadImage(image, link, options.timeouts, chunks);
        if (options.verify && result.download.Succeeded()) {
            result.verify = VerifyImage(image, link, options.timeouts);
        }
    }
    link.Close();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

}  // namespace

bool TargetResult::Succeeded() const {
    return connected && download.Succeeded() &&
           (!verify || verify->outcome == VerifyOutcome::kEqual);
}

std::vector<TargetResult> SendToFleet(std::span<const std::uint8_t> image,
                                      const std::vector<FleetTarget>& targets,
                                      const FleetOptions& options, FleetObserver& observer) {
    std::vector<TargetResult> results(targets.size());
    const std::size_t limit = options.jobs > 0 ? static_cast<std::size_t>(options.jobs)
                                               : static_cast<std::size_t>(kMaxFleetJobs);
    const std::size_t workers =
        std::min({targets.size(), limit, static_cast<std::size_t>(kMaxFleetJobs)});
    std::atomic<std::size_t> next{0};
    std::mutex reporting;
    auto work = [&] {
        for (std::size_t i = next++; i < targets.size(); i = next++) {
            results[i] = SendToOne(image, targets[i], options);
            std::lock_guard<std::mutex> hold(reporting);
            observer.OnTargetDone(results[i]);
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (std::size_t k = 0; k < workers; ++k) {
        threads.emplace_back(work);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    return results;
}

}  // namespace kelvarin
