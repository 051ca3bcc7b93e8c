// Serving the web image over HTTP.
#include "device_http.h"

#include "ascii.h"
#include "image_reader.h"
#include "web_image.h"

namespace kelvarin::device {

namespace {

std::string_view ReasonOf(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 301:
            return "Moved Permanently";
        default:
            return "Error";
    }
}

// The parts of a request line "METHOD TARGET HTTP/1.x".
struct RequestLine {
    std::string_view method;
    std::string_view target;
};

std::optional<RequestLine> ParseRequestLine(std::string_view request) {
    std::string_view line = request.substr(0, request.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    std::size_t first = line.find(' ');
    std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    RequestLine parts{line.substr(0, first), line.substr(first + 1, second - first - 1)};
    std::string_view version = line.substr(second + 1);
    if (parts.method.empty() || parts.target.empty() || parts.target.front() != '/' ||
        version.size() != 8 || version.substr(0, 7) != "HTTP/1." || version[7] < '0' ||
        version[7] > '9') {
        return std::nullopt;
    }
    // A target is visible ASCII (RFC 9112); anything else, a bare CR above
    // all, could end up in a Location header.
    for (char c : parts.target) {
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
            return std::nullopt;
        }
    }
    return parts;
}

// The index of the folder path (ending in "/"): its index.htm, else its
// index.html; nullptr when it has neither.
const ImageRecord* FolderIndex(const ImageWalk& walk, const std::string& folder) {
    const ImageRecord* index = FindRecord(walk, folder + "index.htm");
    return index != nullptr ? index : FindRecord(walk, folder + "index.html");
}

// A 301 to location, with a short plain-text body unless withBody is false.
std::string RedirectResponse(const std::string& location, bool withBody) {
    const std::string body = "301 Moved Permanently\n";
    std::string response = "HTTP/1.1 301 Moved Permanently\r\nLocation: " + location +
                           "\r\nContent-Length: " + std::to_string(body.size()) +
                           "\r\nConnection: close\r\n\r\n";
    if (withBody) {
        response += body;
    }
    return response;
}

}  // namespace

HttpScan ScanHttpRequest(std::string_view received) {
    std::string_view window = received.substr(0, kMaxHttpRequest);
    std::size_t crlf = window.find("\r\n\r\n");
    std::size_t lf = window.find("\n\n");
    std::size_t end = std::string_view::npos;
    if (crlf != std::string_view::npos) {
        end = crlf + 4;
    }
    if (lf != std::string_view::npos && (end == std::string_view::npos || lf + 2 < end)) {
        end = lf + 2;
    }
    if (end != std::string_view::npos) {
        return {HttpScanStatus::kComplete, end};
    }
    if (received.size() >= kMaxHttpRequest) {
        return {HttpScanStatus::kTooLarge, 0};
    }
    return {HttpScanStatus::kNeedMore, 0};
}

std::string HttpErrorResponse(int status, bool withBody) {
    std::string statusText = std::to_string(status) + " " + std::string(ReasonOf(status));
    std::string body = statusText + "\n";
    std::string response = "HTTP/1.1 " + statusText + "\r\n";
    if (status == 405) {
        response += "Allow: GET, HEAD\r\n";
    }
    response += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    if (withBody) {
        response += body;
    }
    return response;
}

std::string HandleHttpRequest(std::string_view image, std::string_view request) {
    std::optional<RequestLine> line = ParseRequestLine(request);
    if (!line) {
        return HttpErrorResponse(400);
    }
    const bool head = line->method == "HEAD";
    if (!head && line->method != "GET") {
        return HttpErrorResponse(405);
    }
    std::string_view target = line->target.substr(0, line->target.find_first_of("?#"));
    std::optional<std::string> path = PercentDecode(target);
    if (!path) {
        return HttpErrorResponse(400, !head);
    }

    // The walk keeps the records before a broken one, so they are still served.
    ImageWalk walk = ReadImage(image, kImageBase);
    const ImageRecord* record = FindRecord(walk, *path);
    if (record == nullptr && !path->empty() && path->back() == '/') {
        record = FolderIndex(walk, *path);
    } else if (record == nullptr && FolderIndex(walk, *path + "/") != nullptr) {
        // A folder named without its "/": send the client to the folder, so
        // the links in its index resolve against it.
        const std::string_view query = line->target.substr(target.size());
        return RedirectResponse(std::string(target) + "/" + std::string(query), !head);
    }
    if (record == nullptr) {
        return HttpErrorResponse(404, !head);
    }
    return std::string(head ? record->header : record->response);
}

}  // namespace kelvarin::device
