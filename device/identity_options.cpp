// The identification options of kelvarin-device: the basic objects with
// defaults, the regular ones only when given, or none at all.
#include "identity_options.h"

#include <array>
#include <memory>
#include <string>

namespace kelvarin::device {

namespace {

using namespace kelvarin::modbus;

// An object's option: its name, its id and what it holds.
struct ObjectOption {
    const char* name;
    std::uint8_t id;
    const char* what;
};

constexpr std::array<ObjectOption, 7> kObjectOptions = {{
    {"--vendor", kVendorName, "Vendor name"},
    {"--product", kProductCode, "Product code"},
    {"--revision", kMajorMinorRevision, "Major and minor revision"},
    {"--vendor-url", kVendorUrl, "Vendor URL"},
    {"--product-name", kProductName, "Product name"},
    {"--model-name", kModelName, "Model name"},
    {"--application-name", kUserApplicationName, "User application name"},
}};

// Refuses a value longer than one Read Device Identification reply holds.
CLI::Validator FitsOneReply() {
    return CLI::Validator(
        [](const std::string& text) {
            return text.size() <= kMaxObjectValue
                       ? std::string()
                       : "at most " + std::to_string(kMaxObjectValue) + " bytes, not " +
                             std::to_string(text.size());
        },
        "");
}

}  // namespace

std::function<DeviceIdentity()> AddIdentityOptions(CLI::App& app) {
    // The options' texts, the basic ones holding their defaults.
    struct State {
        std::array<std::string, kObjectOptions.size()> values;
        std::array<CLI::Option*, kObjectOptions.size()> options{};
        bool none = false;
    };
    auto state = std::make_shared<State>();
    const DeviceIdentity& defaults = DefaultIdentity();
    for (std::size_t i = 0; i < kObjectOptions.size(); ++i) {
        const ObjectOption& object = kObjectOptions[i];
        const bool basic = object.id <= kLastBasicObject;
        CLI::Option* option =
            app.add_option(object.name, state->values[i],
                           std::string(object.what) + ", object " + std::to_string(object.id) +
                               " of Read Device Identification (function 43)" +
                               (basic ? "" : "; absent unless given"))
                ->check(FitsOneReply());
        if (basic) {
            state->values[i] = defaults.objects[object.id].value;
            option->capture_default_str();
        }
        state->options[i] = option;
    }
    CLI::Option* none = app.add_flag(
        "--no-identity", state->none,
        "Answer function 43 with exception 01, as a device without Read Device Identification");
    for (CLI::Option* option : state->options) {
        none->excludes(option);
    }
    return [state] {
        DeviceIdentity identity;
        identity.answers = !state->none;
        for (std::size_t i = 0; i < kObjectOptions.size(); ++i) {
            if (kObjectOptions[i].id <= kLastBasicObject || state->options[i]->count() > 0) {
                identity.objects.push_back({kObjectOptions[i].id, state->values[i]});
            }
        }
        return identity;
    };
}

}  // namespace kelvarin::device
