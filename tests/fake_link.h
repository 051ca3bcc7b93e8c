// A link to a pretend device for the download and read-back tests: what the
// device answers is queued with the time it arrives, and the link keeps its
// own clock, which a wait moves on at once, so time-outs of hundreds of
// milliseconds cost no real time.
#pragma once

#include "device_link.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

namespace kelvarin::test {

using Bytes = std::vector<std::uint8_t>;

class FakeLink : public CDeviceLink {
  public:
    using Clock = std::chrono::steady_clock;
    using Ms = std::chrono::milliseconds;

    net::IoResult Write(const void* data, std::size_t length) override {
        if (m_closed) {
            return {net::Status::kFailed, 0};
        }
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        m_requests.emplace_back(bytes, bytes + length);
        m_sentAt.push_back(m_now);
        OnRequest(static_cast<int>(m_requests.size()), m_requests.back());
        return {net::Status::kOk, length};
    }

    net::IoResult Read(void* buffer, std::size_t length) override {
        if (!m_arrivals.empty() && m_arrivals.front().at <= m_now) {
            Arrival& next = m_arrivals.front();
            const std::size_t n = std::min(length, next.bytes.size());
            std::copy_n(next.bytes.begin(), n, static_cast<std::uint8_t*>(buffer));
            next.bytes.erase(next.bytes.begin(), next.bytes.begin() + static_cast<long>(n));
            if (next.bytes.empty()) {
                m_arrivals.pop_front();
            }
            return {net::Status::kOk, n};
        }
        if (m_closed && m_arrivals.empty()) {
            return {net::Status::kClosed, 0};
        }
        return {net::Status::kWouldBlock, 0};
    }

    // A wait moves the clock on at once: to the next arrival when one is
    // due within ms (and bytes are waited for), else by ms.
    net::Status Wait(bool read, bool write, int ms) override {
        if (write && m_hangReconnects) {
            m_now += Ms(ms);  // the connect under way is never answered
            return net::Status::kTimedOut;
        }
        if (write) {
            return net::Status::kOk;
        }
        if (read && !m_arrivals.empty() && m_arrivals.front().at <= m_now + Ms(ms)) {
            m_now = std::max(m_now, m_arrivals.front().at);
            return net::Status::kOk;
        }
        if (read && m_closed && m_arrivals.empty()) {
            return net::Status::kOk;  // the read tells of the close
        }
        m_now += Ms(ms);
        return net::Status::kTimedOut;
    }

    net::Status StartConnect() override {
        ++reconnects;
        if (m_hangReconnects) {
            return net::Status::kWouldBlock;
        }
        if (m_refuseReconnects > 0) {
            --m_refuseReconnects;
            return net::Status::kFailed;
        }
        m_closed = false;
        m_arrivals.clear();
        OnReconnect();
        return net::Status::kOk;
    }
    net::Status FinishConnect(bool*, bool*) override { return net::Status::kOk; }
    void Drop() override {}

    // Lets ms pass.
    void Idle(int ms) { m_now += Ms(ms); }
    Clock::time_point Now() const override { return m_now; }

    // What was sent, in order, and when.
    const std::vector<Bytes>& Requests() const { return m_requests; }
    Clock::time_point SentAt(std::size_t i) const { return m_sentAt[i]; }
    Clock::time_point Start() const { return m_start; }

    // The device closes the connection (after what is queued has arrived).
    void CloseConnection() { m_closed = true; }
    // The next n reconnects fail.
    void RefuseReconnects(int n) { m_refuseReconnects = n; }
    // Every reconnect from now on stays under way: never answered.
    void HangReconnects() { m_hangReconnects = true; }

    int reconnects = 0;

  protected:
    // The n-th request (1-based) has been sent: queue what the device answers.
    virtual void OnRequest(int n, const Bytes& request) = 0;
    // A new connection was made.
    virtual void OnReconnect() {}

    // Queues bytes to arrive delayMs from now, in pieces of piece bytes each
    // pauseMs after the one before (0: all at once).
    void Arrive(const Bytes& bytes, int delayMs = 0, std::size_t piece = 0, int pauseMs = 0) {
        Clock::time_point at = m_now + Ms(delayMs);
        if (!m_arrivals.empty()) {
            at = std::max(at, m_arrivals.back().at);  // a stream keeps its order
        }
        const std::size_t size = piece == 0 ? bytes.size() : piece;
        for (std::size_t i = 0; i < bytes.size(); i += size) {
            m_arrivals.push_back(
                {at, Bytes(bytes.begin() + static_cast<long>(i),
                           bytes.begin() + static_cast<long>(std::min(i + size, bytes.size())))});
            at += Ms(pauseMs);
        }
    }

  private:
    struct Arrival {
        Clock::time_point at;
        Bytes bytes;
    };

    Clock::time_point m_start = Clock::time_point() + std::chrono::hours(1);
    Clock::time_point m_now = m_start;
    std::vector<Bytes> m_requests;
    std::vector<Clock::time_point> m_sentAt;
    std::deque<Arrival> m_arrivals;
    bool m_closed = false;
    int m_refuseReconnects = 0;
    bool m_hangReconnects = false;
};

}  // namespace kelvarin::test
