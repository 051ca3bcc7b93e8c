// Asking a unit who it is, round by round: a device that splits its objects
// over several responses is followed to the end, and one that says "more
// follows" to every request alike is not followed for ever.
#include "fake_link.h"
#include "identify.h"
#include "modbus_frame.h"
#include "transfer_driver.h"

#include <gtest/gtest.h>

namespace kelvarin {
namespace {

using test::Bytes;

// A unit holding objects; honest, it answers from the object asked for on,
// else always from the first.
class IdentityLink : public test::FakeLink {
  public:
    IdentityLink(std::vector<modbus::IdentityObject> objects, bool honest)
        : m_objects(std::move(objects)), m_honest(honest) {}

  protected:
    void OnRequest(int, const Bytes& request) override {
        const modbus::ParsedIdentityRequest parsed = modbus::ParseIdentityRequest(request);
        std::vector<modbus::IdentityObject> from;
        for (const modbus::IdentityObject& object : m_objects) {
            if (!m_honest || object.id >= parsed.request.objectId) {
                from.push_back(object);
            }
        }
        const std::string reply = modbus::EncodeIdentityReply(
            modbus::TransactionOf(request.data()), request[modbus::kUnitAt],
            parsed.request.readCode, 0x81, from);
        Arrive(Bytes(reply.begin(), reply.end()));
    }

  private:
    std::vector<modbus::IdentityObject> m_objects;
    bool m_honest;
};

IdentityReport Identify(IdentityLink& link) {
    TransferOptions options;
    TransferEvents none;
    DeviceIdentify identify(options, none, link.Transactions());
    while (Transfer* round = identify.NextRound()) {
        RunTransfer(*round, link, options);
    }
    return identify.Report();
}

TEST(DeviceIdentify, FollowsMoreFollowsToTheEndAndNoFurther) {
    // Three values of 200 bytes: one a response.
    const std::vector<modbus::IdentityObject> objects = {
        {modbus::kVendorName, std::string(200, 'v')},
        {modbus::kProductCode, std::string(200, 'p')},
        {modbus::kMajorMinorRevision, std::string(200, 'r')}};

    IdentityLink honest(objects, true);
    const IdentityReport all = Identify(honest);
    EXPECT_EQ(all.answer, IdentityReport::Answer::kIdentified);
    EXPECT_EQ(all.objects, objects);
    EXPECT_EQ(all.requests, 3);

    // It answers every request with the vendor name and "more from 1".
    IdentityLink stuck(objects, false);
    const IdentityReport once = Identify(stuck);
    EXPECT_EQ(once.answer, IdentityReport::Answer::kIdentified);
    EXPECT_EQ(once.Object(modbus::kVendorName), std::string(200, 'v'));
    EXPECT_EQ(once.requests, 2);
}

}  // namespace
}  // namespace kelvarin
