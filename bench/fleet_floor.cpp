// The floor of a fleet send: a bare client that writes the same image to
// every target at once from one poll() loop, one request in flight per
// device, checking nothing but the length of each reply.
//   fleet_floor TARGETS IMAGE
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Device {
    int fd = -1;
    std::size_t next = 0;  // the image offset of the chunk in flight
    std::size_t got = 0;   // reply bytes received for it
    std::size_t want = 0;  // reply bytes expected
};

// The Write File Record request for image bytes at..at+n.
std::vector<unsigned char> Frame(const std::string& image, std::size_t at, std::size_t n) {
    std::vector<unsigned char> frame(16 + n, 0);
    frame[5] = static_cast<unsigned char>(n + 10);
    frame[7] = 21;
    frame[8] = static_cast<unsigned char>(n + 7);
    frame[9] = 6;
    frame[11] = static_cast<unsigned char>(16 + at / 65536);
    frame[12] = static_cast<unsigned char>((at % 65536) >> 8);
    frame[13] = static_cast<unsigned char>(at % 256);
    frame[15] = static_cast<unsigned char>(n / 2);
    std::memcpy(frame.data() + 16, image.data() + at, n);
    return frame;
}

void SendChunk(Device& device, const std::vector<std::vector<unsigned char>>& frames) {
    const auto& frame = frames[device.next / 128];
    device.want = frame.size();
    device.got = 0;
    if (::send(device.fd, frame.data(), frame.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(frame.size())) {
        std::perror("send");
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fleet_floor TARGETS IMAGE\n");
        return 2;
    }
    rlimit files{};
    ::getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);

    std::ifstream imageFile(argv[2], std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(imageFile)),
                            std::istreambuf_iterator<char>());
    std::vector<std::vector<unsigned char>> frames;
    for (std::size_t at = 0; at < image.size(); at += 128) {
        frames.push_back(Frame(image, at, std::min<std::size_t>(128, image.size() - at)));
    }

    const auto start = std::chrono::steady_clock::now();
    std::vector<Device> devices;
    std::ifstream targets(argv[1]);
    for (std::string line; std::getline(targets, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::size_t colon = line.find(':');
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(static_cast<std::uint16_t>(std::atoi(line.c_str() + colon + 1)));
        ::inet_pton(AF_INET, line.substr(0, colon).c_str(), &peer.sin_addr);
        Device device;
        device.fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(device.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(device.fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
            std::perror(line.c_str());
            return 1;
        }
        devices.push_back(device);
    }
    std::vector<pollfd> fds;
    for (Device& device : devices) {
        SendChunk(device, frames);
        fds.push_back({device.fd, POLLIN, 0});
    }
    std::size_t done = 0;
    unsigned char buffer[512];
    while (done < devices.size()) {
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            std::perror("poll");
            return 1;
        }
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) {
                continue;
            }
            Device& device = devices[i];
            const ssize_t got = ::recv(device.fd, buffer, device.want - device.got, 0);
            if (got <= 0) {
                std::fprintf(stderr, "device %zu closed\n", i);
                return 1;
            }
            device.got += static_cast<std::size_t>(got);
            if (device.got < device.want) {
                continue;
            }
            device.next += 128;
            if (device.next < image.size()) {
                SendChunk(device, frames);
            } else {
                ::close(device.fd);
                fds[i].fd = -fds[i].fd - 1;  // no longer polled
                ++done;
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu devices, %zu requests each: %.3f s\n", devices.size(), frames.size(), seconds);
    return 0;
}
