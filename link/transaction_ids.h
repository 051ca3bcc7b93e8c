// The transaction ids of one connection.
#pragma once

#include <cstdint>

namespace kelvarin {

// The transaction ids of one connection, shared by every transfer on it (a
// check before a download, the download, its read-back), so the ids go on
// from one transfer to the next and a late reply of one can never pass for an
// answer of the next: 1 to 65535, then 1 again. 0 is never given out: the
// default's requests, which carry no ids of their own, all carry 0.
class TransactionIds {
  public:
    // The id to use now; the next Take gives the one after it.
    std::uint16_t Take() {
        const std::uint16_t id = m_next;
        m_next = id == kLast ? 1 : static_cast<std::uint16_t>(id + 1);
        return id;
    }

    // The id Take would give.
    std::uint16_t Next() const { return m_next; }

    // Back to 1, for a new connection.
    void Restart() { m_next = 1; }

    // True when id is one of the count ids given out from first on (wrapping
    // past 65535 as Take does).
    static bool Among(std::uint16_t id, std::uint16_t first, std::uint32_t count) {
        if (id == 0 || first == 0) {
            return false;
        }
        const std::uint32_t distance = (static_cast<std::uint32_t>(id) + kLast - first) % kLast;
        return distance < count;
    }

  private:
    static constexpr std::uint16_t kLast = 0xFFFF;
    std::uint16_t m_next = 1;
};

}  // namespace kelvarin
