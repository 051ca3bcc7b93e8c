// Soak run: many downloads of random file sets to kelvarin-device with its
// fault modes, its link (latency, loss, requests answered at once) and the
// sender's options (retries, requests in flight, chunk size, read-back)
// chosen at random. Whenever kelvarin-cli send reports success, the device's
// stored image must equal the packed image; a success without that is a
// false success, the one outcome an operator must never see.
//
//   soak CLI DEVICE [ROUNDS] [SEED]
#include "child_process.h"
#include "device_process.h"
#include "test_support.h"
#include "web_image.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using kelvarin::test::DeviceProcess;
using kelvarin::test::ReadAll;
using kelvarin::test::RunProgram;
using kelvarin::test::TempDir;

struct Round {
    std::string fault;
    std::vector<std::string> deviceOptions;  // the link: latency, loss, max in flight
    std::vector<std::string> sendOptions;    // retries, window, chunk, verify
    std::vector<std::string> files;
};

// A fault mode, a link and the sender's options, and files sized so that
// slow modes stay short.
Round MakeRound(std::mt19937& random, const TempDir& dir, int index) {
    static const char* kModes[] = {"none",        "silent",  "exception", "delay",
                                   "late",        "split",   "trickle",   "stream",
                                   "close-after", "corrupt", "flip-store"};
    Round round;
    const bool verify = random() % 3 == 0;
    std::string mode = kModes[random() % std::size(kModes)];
    if (mode == "flip-store" && !verify) {
        mode = "none";  // a device that lies about what it stored is caught only by a read-back
    }
    // Silent, late, stream and trickle devices cost up to 200 ms a chunk (and
    // retries multiply it): keep their images small.
    const bool slow = mode == "silent" || mode == "late" || mode == "stream" || mode == "trickle";
    const std::size_t most = slow ? 1500 : mode == "split" ? 3000 : 40000;
    if (mode == "delay") {
        mode += "=" + std::to_string(5 + random() % 60);
    } else if (mode == "late") {
        mode += "=" + std::to_string(1 + random() % 4) + ":" + std::to_string(250 + random() % 200);
    } else if (mode == "close-after" || mode == "corrupt" || mode == "flip-store" ||
               mode == "stream") {
        mode += "=" + std::to_string(1 + random() % 12);
    } else if (mode == "trickle") {
        mode += "=" + std::to_string(1 + random() % 3);
    }
    round.fault = mode;

    // The link, now and then.
    if (random() % 3 == 0) {
        round.deviceOptions.insert(round.deviceOptions.end(),
                                   {"--latency", std::to_string(random() % 6)});
    }
    if (random() % 3 == 0) {
        round.deviceOptions.insert(
            round.deviceOptions.end(),
            {"--loss", std::to_string(random() % 6) + ":" + std::to_string(random() % 1000)});
    }
    if (random() % 4 == 0) {
        round.deviceOptions.insert(round.deviceOptions.end(),
                                   {"--max-in-flight", std::to_string(1 + random() % 4),
                                    random() % 2 ? "busy" : "drop"});
    }
    // The sender's options, now and then.
    if (verify) {
        round.sendOptions.push_back("--verify");
    }
    if (random() % 2 == 0) {
        round.sendOptions.insert(round.sendOptions.end(),
                                 {"--retries", std::to_string(random() % 4)});
    }
    if (random() % 2 == 0) {
        static const char* kWindows[] = {"1", "2", "4", "16", "auto"};
        round.sendOptions.insert(round.sendOptions.end(),
                                 {"--window", kWindows[random() % std::size(kWindows)]});
    }
    if (random() % 3 == 0) {
        round.sendOptions.insert(round.sendOptions.end(),
                                 {"--chunk", std::to_string(2 * (1 + random() % 122))});
    }
    // Time-outs shorter and longer than the default; a short one against a
    // slow link must fail honestly, never pass.
    if (random() % 4 == 0) {
        round.sendOptions.insert(round.sendOptions.end(),
                                 {"--timeout", std::to_string(20 + random() % 300)});
    }
    if (random() % 4 == 0) {
        round.sendOptions.insert(round.sendOptions.end(),
                                 {"--first-timeout", std::to_string(20 + random() % 800)});
    }

    static const char* kExtensions[] = {".htm", ".html", ".css", ".js", ".png", ".gif", ""};
    const int count = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < count; ++i) {
        std::string name =
            "r" + std::to_string(index) + "f" + std::to_string(i) + kExtensions[random() % 7];
        round.files.push_back(
            dir.WriteSized(name, random() % (most / count + 1), static_cast<unsigned>(random())));
    }
    return round;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: soak CLI DEVICE [ROUNDS] [SEED]\n");
        return 2;
    }
    const std::string cli = argv[1];
    const std::string device = argv[2];
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 200;
    const unsigned seed = argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 2026;
    std::mt19937 random(seed);
    TempDir dir;

    int successes = 0;
    int failuresReported = 0;
    int falseSuccesses = 0;
    int intactDespiteFailure = 0;
    std::map<std::string, int> byMode;
    for (int index = 0; index < rounds; ++index) {
        Round round = MakeRound(random, dir, index);
        const std::string stored = dir.Path() + "/stored.bin";
        const std::string dump = dir.Path() + "/a.dat";
        std::remove(stored.c_str());
        std::vector<std::string> deviceOptions = {"--image-out", stored};
        if (round.fault != "none") {
            deviceOptions.insert(deviceOptions.end(), {"--fault", round.fault});
        }
        deviceOptions.insert(deviceOptions.end(), round.deviceOptions.begin(),
                             round.deviceOptions.end());
        DeviceProcess process(device, deviceOptions);
        const std::string port = process.ModbusPortText();

        std::vector<std::string> sendArgs = {cli, "send", "127.0.0.1", port};
        sendArgs.insert(sendArgs.end(), round.files.begin(), round.files.end());
        sendArgs.insert(sendArgs.end(), {"--dump", dump});
        sendArgs.insert(sendArgs.end(), round.sendOptions.begin(), round.sendOptions.end());
        kelvarin::test::RunResult sent = RunProgram(sendArgs);

        // The device writes its memory out after each connection that wrote
        // (a send that reconnected made several); the client has gone, so
        // the last of them comes soon after the first.
        bool saved = false;
        for (std::string line = process.ReadLine(3000); line == "image " + stored;
             line = process.ReadLine(300)) {
            saved = true;
        }
        std::string image = ReadAll(dump);
        std::string memory =
            saved ? ReadAll(stored) : std::string(kelvarin::kImageCapacity, '\xFF');
        image.resize(kelvarin::kImageCapacity, '\xFF');
        const bool intact = memory == image;
        process.Stop();

        std::string mode = round.fault.substr(0, round.fault.find('='));
        ++byMode[mode];
        if (sent.exitCode == 0) {
            ++successes;
            if (!intact) {
                ++falseSuccesses;
                std::string options;
                for (const std::string& option : round.deviceOptions) {
                    options += " " + option;
                }
                options += " |";
                for (const std::string& option : round.sendOptions) {
                    options += " " + option;
                }
                std::fprintf(stderr, "FALSE SUCCESS in round %d (fault %s,%s)\n%s", index,
                             round.fault.c_str(), options.c_str(), sent.out.c_str());
            }
        } else {
            ++failuresReported;
            intactDespiteFailure += intact ? 1 : 0;
        }
    }
    std::printf(
        "soak: %d downloads (seed %u): %d reported success, %d reported failure "
        "(%d of them with the image intact), %d false successes\n",
        rounds, seed, successes, failuresReported, intactDespiteFailure, falseSuccesses);
    std::printf("soak: fault modes:");
    for (const auto& [mode, count] : byMode) {
        std::printf(" %s %d", mode.c_str(), count);
    }
    std::printf("\n");
    return falseSuccesses == 0 ? 0 : 1;
}
