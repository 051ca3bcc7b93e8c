// Fuzzes the simulated device's HTTP handling: the first bytes pick a split
// between an image and a request. The answer is one of the device's own error
// responses, its own redirect to a folder (with nothing but visible ASCII in
// the Location line), or bytes that stand in the image: nothing else is
// served.
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
    bool ownRedirect = false;
    constexpr std::string_view kRedirect = "HTTP/1.1 301 Moved Permanently\r\nLocation: /";
    if (answer.rfind(kRedirect, 0) == 0) {
        const std::size_t end = answer.find("\r\n", kRedirect.size());
        ownRedirect = end != std::string::npos;
        for (std::size_t i = kRedirect.size(); ownRedirect && i < end; ++i) {
            const auto c = static_cast<unsigned char>(answer[i]);
            ownRedirect = c > 0x20 && c < 0x7F;
        }
        if (ownRedirect && answer[end - 1] != '/' && answer.find('?', kRedirect.size()) > end &&
            answer.find('#', kRedirect.size()) > end) {
            ownRedirect = false;  // always to a folder: the path ends in "/"
        }
    }
    if (!ownError && !ownRedirect && image.find(answer) == std::string_view::npos) {
        std::abort();
    }
    return 0;
}
