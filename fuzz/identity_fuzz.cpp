// Fuzzes a client's reading of Read Device Identification replies: any bytes,
// taken as the reply to the transaction they name. The objects read are the
// frame's bytes to the last one, as many as its count says, and a reply of
// objects with nothing more to follow is laid out again to the same bytes.
#include "modbus_frame.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvarin::modbus;
    if (size < 2) {
        return 0;
    }
    const std::span<const std::uint8_t> reply(data, size);
    const auto transaction = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
    const IdentityReply read = DecodeIdentityReply(reply, transaction);
    if (read.status != IdentityReplyStatus::kObjects) {
        if (!read.objects.empty()) {
            std::abort();
        }
        return 0;
    }
    std::size_t bytes = kObjectsAt;
    for (const IdentityObject& object : read.objects) {
        bytes += kObjectHeader + object.value.size();
    }
    if (bytes != size || read.objects.size() != data[kObjectCountAt]) {
        std::abort();
    }
    if (!read.moreFollows && read.nextObjectId == 0) {
        const std::string again = EncodeIdentityReply(transaction, read.unit, read.readCode,
                                                      read.conformity, read.objects);
        if (again != std::string(reinterpret_cast<const char*>(data), size)) {
            std::abort();
        }
    }
    return 0;
}
