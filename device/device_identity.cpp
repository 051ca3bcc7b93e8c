// Read Device Identification on the simulated device.
#include "device_identity.h"

#include "device_modbus.h"

#include <kelvarin/version.h>

#include <algorithm>
#include <span>

namespace kelvarin::device {

namespace {

using namespace kelvarin::modbus;

// The highest object id a stream of readCode holds on this device, which
// has no extended objects: a request above its conformity level is answered
// as its level allows.
std::uint8_t LastObjectOf(std::uint8_t readCode) {
    return readCode == kReadBasic ? kLastBasicObject : kLastRegularObject;
}

}  // namespace

const DeviceIdentity& DefaultIdentity() {
    static const DeviceIdentity identity{true,
                                         {{kVendorName, "Kelvarin"},
                                          {kProductCode, "kelvarin-device"},
                                          {kMajorMinorRevision, kelvarin::kVersion}}};
    return identity;
}

std::uint8_t ConformityOf(const DeviceIdentity& identity) {
    const bool regular =
        std::any_of(identity.objects.begin(), identity.objects.end(),
                    [](const IdentityObject& object) { return object.id > kLastBasicObject; });
    return static_cast<std::uint8_t>((regular ? kConformityRegular : kConformityBasic) |
                                     kIndividualAccess);
}

std::string HandleIdentityFrame(const DeviceIdentity& identity, std::string_view frame) {
    auto fail = [&](ModbusException code) { return ModbusExceptionReply(frame, code); };
    // An object too long for any reply (kept out by the options) is the
    // device's failure, never an empty answer.
    auto sent = [&](std::string reply) {
        return reply.empty() ? fail(ModbusException::kDeviceFailure) : reply;
    };
    if (!identity.answers) {
        return fail(ModbusException::kIllegalFunction);
    }
    const ParsedIdentityRequest parsed = ParseIdentityRequest(frame);
    switch (parsed.status) {
        case IdentityRequestStatus::kSound:
            break;
        case IdentityRequestStatus::kOtherMei:
            return fail(ModbusException::kIllegalFunction);
        case IdentityRequestStatus::kBadLength:
        case IdentityRequestStatus::kBadReadCode:
            return fail(ModbusException::kIllegalValue);
    }
    const auto transaction =
        static_cast<std::uint16_t>(static_cast<std::uint8_t>(frame[kTransactionAt]) << 8 |
                                   static_cast<std::uint8_t>(frame[kTransactionAt + 1]));
    const auto unit = static_cast<std::uint8_t>(frame[kUnitAt]);
    const IdentityRequest request = parsed.request;
    const std::span<const IdentityObject> objects(identity.objects);
    auto named = std::find_if(objects.begin(), objects.end(), [&](const IdentityObject& object) {
        return object.id == request.objectId;
    });
    if (request.readCode == kReadOneObject) {
        if (named == objects.end()) {
            return fail(ModbusException::kIllegalAddress);
        }
        return sent(EncodeIdentityReply(transaction, unit, request.readCode, ConformityOf(identity),
                                        std::span(named, 1)));
    }
    // A stream: the objects up to the read code's last, from the one asked
    // for when the stream holds it, else from the first.
    const auto end = std::find_if(objects.begin(), objects.end(), [&](const IdentityObject& o) {
        return o.id > LastObjectOf(request.readCode);
    });
    const auto first = named < end ? named : objects.begin();
    return sent(EncodeIdentityReply(transaction, unit, request.readCode, ConformityOf(identity),
                                    std::span(first, end)));
}

}  // namespace kelvarin::device
