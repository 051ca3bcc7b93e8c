// A build without SQLite and OpenSSL (a Windows cross build whose libraries
// are not built yet): the journal cannot be opened, which every front end
// says in one line and goes on, as for any journal that cannot be written.
#include "journal.h"

#include "user_dirs.h"

namespace kelvarin {

namespace {
const char* const kNone = "this build of Kelvarin has no journal";
}  // namespace

bool JournalBuiltIn() {
    return false;
}

std::string Sha256Hex(std::string_view) {
    return {};
}

std::string RecordSha256(std::int64_t, std::string_view, std::string_view) {
    return {};
}

std::string JournalField(std::string_view record, std::string_view path) {
    std::string_view rest = record;
    std::size_t dot = 0;
    while ((dot = path.find('.')) != std::string_view::npos) {
        const std::string key = "\"" + std::string(path.substr(0, dot)) + "\":{";
        const std::size_t at = rest.find(key);
        if (at == std::string_view::npos) {
            return {};
        }
        rest = rest.substr(at + key.size() - 1);
        path = path.substr(dot + 1);
    }
    const std::string key = "\"" + std::string(path) + "\":";
    const std::size_t at = rest.find(key);
    if (at == std::string_view::npos) {
        return {};
    }
    rest = rest.substr(at + key.size());
    if (rest.starts_with("\"")) {
        // The journal's strings escape quotes and backslashes; an escaped
        // quote does not end the value.
        std::string value;
        for (std::size_t i = 1; i < rest.size() && rest[i] != '"'; ++i) {
            if (rest[i] == '\\' && i + 1 < rest.size()) {
                ++i;
            }
            value += rest[i];
        }
        return value;
    }
    const std::size_t end = rest.find_first_of(",}");
    return std::string(rest.substr(0, end));
}

std::optional<std::string> DefaultJournalPath() {
    const std::optional<std::string> state = UserStateFolder();
    if (!state) {
        return std::nullopt;
    }
    return *state + "/" + kAppFolderName + "/journal.sqlite";
}

Journal::Journal(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}
Journal::~Journal() = default;

std::unique_ptr<Journal> Journal::Open(const std::string&, std::string* error, bool) {
    *error = kNone;
    return nullptr;
}

bool Journal::Append(const std::vector<std::string>&, std::string* error) {
    *error = kNone;
    return false;
}

std::vector<JournalEntry> Journal::Read(const JournalQuery&, std::string* error) const {
    *error = kNone;
    return {};
}

JournalCheck Journal::Check() const {
    JournalCheck check;
    check.fault = JournalFault::kUnreadable;
    check.why = kNone;
    return check;
}

std::uint64_t Journal::SizeBytes() const {
    return 0;
}

}  // namespace kelvarin
