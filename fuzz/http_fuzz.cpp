// Fuzzes the simulated device's HTTP handling: the first bytes pick a split
// between an image and a request. The answer is either one of the device's
// own error responses or bytes that stand in the image: nothing else is served.
#include "device_http.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    std::size_t split = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % (size - 1);
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string_view image = rest.substr(0, split);
    std::string_view request = rest.substr(split);

    kelvarin::device::HttpScan scan = kelvarin::device::ScanHttpRequest(request);
    if (scan.status == kelvarin::device::HttpScanStatus::kComplete) {
        if (scan.size > request.size()) {
            std::abort();
        }
        request = request.substr(0, scan.size);
    }
    std::string answer = kelvarin::device::HandleHttpRequest(image, request);
    const bool ownError = answer.rfind("HTTP/1.1 4", 0) == 0;
    if (!ownError && image.find(answer) == std::string_view::npos) {
        std::abort();
    }
    return 0;
}
