// HTTP on the simulated device: serves the records of the web image held in
// its memory, each record's stored response sent verbatim.
//
// Byte-in, byte-out functions with no I/O, so they can be tested and fuzzed
// directly.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kelvarin::device {

// The longest request head accepted, request line and headers together.
inline constexpr std::size_t kMaxHttpRequest = 8192;

// How the bytes received on an HTTP connection stand.
enum class HttpScanStatus {
    kNeedMore,  // no blank line yet, and fewer than kMaxHttpRequest bytes
    kComplete,  // the head ends at HttpScan::size
    kTooLarge,  // no blank line within kMaxHttpRequest bytes: answer 400 and close
};

// The result of ScanHttpRequest.
struct HttpScan {
    HttpScanStatus status = HttpScanStatus::kNeedMore;
    std::size_t size = 0;  // bytes of the head, blank line included, for kComplete
};

// Looks for the end of the request head (a blank line, CRLF or bare LF) in
// the bytes received so far.
HttpScan ScanHttpRequest(std::string_view received);

// The response to request (a request head) from the web image in image, whose
// offset 0 is device address kImageBase. GET sends a matching record's stored
// response verbatim, HEAD its header part. The path is percent-decoded and its
// query dropped; a path ending in "/" that no record holds means that folder's
// index.htm, else its index.html ("/" means /index.htm or /index.html), and a
// folder named without its "/" gets a 301 to the folder, as a static web
// server does. Answers 400 for a bad request line, 405 for another method,
// 404 for a path no record holds (records after a broken one in the chain are
// not reachable).
std::string HandleHttpRequest(std::string_view image, std::string_view request);

// A short error response with a plain-text body, e.g. for 404
// "HTTP/1.1 404 Not Found\r\nContent-Length: 14\r\nConnection: close\r\n\r\n404 Not Found\n";
// headers only when withBody is false.
std::string HttpErrorResponse(int status, bool withBody = true);

}  // namespace kelvarin::device
