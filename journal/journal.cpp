// The journal over SQLite, its hashes over OpenSSL's SHA-256.
#include "journal.h"

#include "files.h"
#include "paths.h"
#include "user_dirs.h"

#include <openssl/evp.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace kelvarin {

namespace {

// The first record's predecessor.
const std::string kNoHash(64, '0');

// How long an append waits for another process's transaction to end.
constexpr int kBusyTimeoutMs = 10000;

// The journal's objects, each as SQLite keeps its text in sqlite_schema:
// a journal holds exactly these and nothing else.
struct SchemaObject {
    const char* type;
    const char* name;
    const char* sql;
};
constexpr SchemaObject kSchemaObjects[] = {
    {"table", "records",
     "CREATE TABLE records ( seq INTEGER PRIMARY KEY, record TEXT NOT NULL,"
     " prev_sha256 TEXT NOT NULL, sha256 TEXT NOT NULL)"},
    // Append only, for whoever writes through SQLite without dropping these
    // first; the chain shows any change whoever makes it.
    {"trigger", "records_no_update",
     "CREATE TRIGGER records_no_update BEFORE UPDATE ON records"
     " BEGIN SELECT RAISE(ABORT, 'the journal is append-only'); END"},
    {"trigger", "records_no_delete",
     "CREATE TRIGGER records_no_delete BEFORE DELETE ON records"
     " BEGIN SELECT RAISE(ABORT, 'the journal is append-only'); END"},
};

// A prepared statement, finalized when it goes.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK) {
            m_statement = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return m_statement != nullptr; }
    sqlite3_stmt* get() const { return m_statement; }
    void Bind(int at, std::string_view text) {
        sqlite3_bind_text(m_statement, at, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
    }
    void Bind(int at, std::int64_t value) { sqlite3_bind_int64(m_statement, at, value); }
    std::string Text(int column) const {
        const auto* text = sqlite3_column_text(m_statement, column);
        return text ? std::string(reinterpret_cast<const char*>(text),
                                  static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)))
                    : std::string();
    }

  private:
    sqlite3_stmt* m_statement = nullptr;
};

std::string ErrorOf(sqlite3* db) {
    return db ? sqlite3_errmsg(db) : "out of memory";
}

bool Execute(sqlite3* db, const char* sql, std::string* error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) {
        return true;
    }
    if (error) {
        *error = message ? message : ErrorOf(db);
    }
    sqlite3_free(message);
    return false;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0xF];
    }
    return text;
}

std::string RecordSha256(std::int64_t seq, std::string_view prevSha256, std::string_view record) {
    std::string hashed = std::to_string(seq);
    hashed += '\n';
    hashed.append(prevSha256);
    hashed += '\n';
    hashed.append(record);
    return Sha256Hex(hashed);
}

std::optional<std::string> DefaultJournalPath() {
    const std::optional<std::string> state = UserStateFolder();
    if (!state) {
        return std::nullopt;
    }
    return *state + "/" + kAppFolderName + "/journal.sqlite";
}

namespace {

// What a database's schema is to the journal.
enum class Schema {
    kJournal,  // exactly a journal's
    kEmpty,    // no objects at all: a new database
    kAltered,  // a journal's table, but its guards (the triggers) removed or
               // changed, or objects added: someone wrote past SQLite's guards
    kForeign,  // anything else, or it cannot be read (*error says why)
};

// Reads the objects of db's schema; *error says what is wrong for kEmpty,
// kAltered and kForeign.
Schema ReadSchema(sqlite3* db, std::string* error) {
    Statement select(db, "SELECT type, name, sql FROM sqlite_schema");
    if (!select) {
        *error = ErrorOf(db);
        return Schema::kForeign;
    }
    std::vector<std::array<std::string, 3>> found;
    int step = 0;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
        found.push_back({select.Text(0), select.Text(1), select.Text(2)});
    }
    if (step != SQLITE_DONE) {
        *error = ErrorOf(db);
        return Schema::kForeign;
    }
    if (found.empty()) {
        *error = "not a Kelvarin journal: the database is empty";
        return Schema::kEmpty;
    }
    const auto known = [](const std::array<std::string, 3>& object) {
        for (const SchemaObject& expected : kSchemaObjects) {
            if (object[0] == expected.type && object[1] == expected.name &&
                object[2] == expected.sql) {
                return true;
            }
        }
        return false;
    };
    const auto table = std::find_if(found.begin(), found.end(), [](const auto& object) {
        return object[0] == "table" && object[1] == "records";
    });
    if (table == found.end() || !known(*table)) {
        *error = "not a Kelvarin journal: it has no journal's table of records";
        return Schema::kForeign;
    }
    if (found.size() != std::size(kSchemaObjects) || !std::all_of(found.begin(), found.end(), known)) {
        *error = "the journal's schema was changed (its append-only triggers removed or altered, "
                 "or objects added)";
        return Schema::kAltered;
    }
    return Schema::kJournal;
}

// Makes the journal's objects in a new, empty database, unless another
// process made them first (looked at again under the write lock).
bool MakeSchema(sqlite3* db, std::string* error) {
    if (!Execute(db, "BEGIN IMMEDIATE", error)) {
        return false;
    }
    std::string sql;
    switch (ReadSchema(db, error)) {
        case Schema::kJournal:
            break;  // made meanwhile
        case Schema::kEmpty:
            for (const SchemaObject& object : kSchemaObjects) {
                sql += object.sql;
                sql += ';';
            }
            break;
        case Schema::kAltered:
        case Schema::kForeign:
            Execute(db, "ROLLBACK", nullptr);
            return false;
    }
    if ((sql.empty() || Execute(db, sql.c_str(), error)) && Execute(db, "COMMIT", error)) {
        return true;
    }
    Execute(db, "ROLLBACK", nullptr);
    return false;
}

// A busy handler that waits while another process holds the lock, until
// the journal's giveUp says to stop.
int WaitWhileLocked(void* journal, int /*count*/) {
    const auto& giveUp = *static_cast<const std::function<bool()>*>(journal);
    if (giveUp && giveUp()) {
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return 1;
}

// True when name exists as something other than a regular file (a link
// planted beside the database for SQLite to follow).
bool PlantedBeside(const std::string& name) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(PathFromUtf8(name), error);
    return !error && status.type() != std::filesystem::file_type::not_found &&
           status.type() != std::filesystem::file_type::regular;
}

}  // namespace

Journal::Journal(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}

Journal::~Journal() {
    sqlite3_close(m_db);
}

std::unique_ptr<Journal> Journal::Open(const std::string& path, std::string* error,
                                       std::function<bool()> giveUp) {
    const std::filesystem::path native = PathFromUtf8(path);
    if (native.has_parent_path() && !MakeFolders(Utf8FromPath(native.parent_path()))) {
        *error = "cannot make the folder " + Utf8FromPath(native.parent_path());
        return nullptr;
    }
    // Made exclusively when missing, so a link planted at its name is never
    // followed; an existing one must be a file, as must its companions.
    for (const std::string& companion : {path + "-wal", path + "-shm", path + "-journal"}) {
        if (PlantedBeside(companion)) {
            *error = companion + ": not a regular file";
            return nullptr;
        }
    }
    std::string why;
    if (KindOfPath(path) == PathKind::kMissing && !MakeNewFile(path, &why) &&
        KindOfPath(path) == PathKind::kMissing) {
        *error = why;
        return nullptr;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX | SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        *error = ErrorOf(db);
        sqlite3_close(db);
        return nullptr;
    }
    std::unique_ptr<Journal> journal(new Journal(db, path));
    journal->m_giveUp = std::move(giveUp);
    if (journal->m_giveUp) {
        sqlite3_busy_handler(db, WaitWhileLocked, &journal->m_giveUp);
    } else {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
    }
    // Write-ahead logging: appends from several processes wait for each
    // other's commits, and a reader never blocks a writer. A commit is in
    // the log when the process ends, however it ends; only a power loss may
    // take the last ones (synchronous NORMAL, for the fleet's speed). While
    // another process makes the database, switching its mode can be refused
    // as busy without waiting: tried again, as long as an append would wait.
    const auto started = std::chrono::steady_clock::now();
    for (;;) {
        if (Execute(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", error)) {
            // A journal written past its guards is not written to: new
            // records would only bury what its check must show.
            const Schema schema = ReadSchema(db, error);
            if (schema == Schema::kJournal || (schema == Schema::kEmpty && MakeSchema(db, error))) {
                break;
            }
            if (schema != Schema::kEmpty) {
                return nullptr;
            }
        }
        const int code = sqlite3_errcode(db) & 0xFF;
        const bool busy = code == SQLITE_BUSY || code == SQLITE_LOCKED;
        const bool givenUp = journal->m_giveUp ? journal->m_giveUp()
                                               : std::chrono::steady_clock::now() - started >
                                                     std::chrono::milliseconds(kBusyTimeoutMs);
        if (!busy || givenUp) {
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return journal;
}

std::unique_ptr<Journal> Journal::OpenForReading(const std::string& path, std::string* error) {
    if (KindOfPath(path) != PathKind::kRegular) {
        *error = "no such journal";
        return nullptr;
    }
    // A journal no connection has open has no write-ahead log: it is read
    // as it is, as immutable, so nothing is made beside it (no -wal, no
    // -shm) and a folder the user may only read does not matter. One in use
    // is read through its log, read-only.
    const bool inUse = KindOfPath(path + "-wal") != PathKind::kMissing;
    std::string uri = "file:";
#if defined(_WIN32)
    // A URI's path has forward slashes, and a drive after a slash.
    std::string native = path;
    std::replace(native.begin(), native.end(), '\\', '/');
    if (native.size() > 1 && native[1] == ':') {
        uri += '/';
    }
#else
    const std::string& native = path;
#endif
    for (const char c : native) {
        // The URI's own characters, escaped.
        if (c == '%' || c == '?' || c == '#') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        } else {
            uri += c;
        }
    }
    uri += inUse ? "?mode=ro" : "?mode=ro&immutable=1";
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(uri.c_str(), &db,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_FULLMUTEX |
                            SQLITE_OPEN_NOFOLLOW,
                        nullptr) != SQLITE_OK) {
        *error = ErrorOf(db);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    std::unique_ptr<Journal> journal(new Journal(db, path));
    const Schema schema = ReadSchema(db, error);
    if (schema == Schema::kEmpty || schema == Schema::kForeign) {
        return nullptr;
    }
    // An altered journal is read (its records may still be checked), and
    // its check fails.
    if (schema == Schema::kAltered) {
        journal->m_altered = *error;
    }
    return journal;
}

void Journal::WaitWhileBusy(std::function<bool()> giveUp) {
    m_giveUp = std::move(giveUp);
    sqlite3_busy_handler(m_db, WaitWhileLocked, &m_giveUp);
}

bool Journal::Append(const std::vector<std::string>& records, std::string* error, bool* busy) {
    const auto fail = [&](const std::string& why) {
        *error = why;
        if (busy) {
            const int code = sqlite3_errcode(m_db) & 0xFF;
            *busy = code == SQLITE_BUSY || code == SQLITE_LOCKED;
        }
        Execute(m_db, "ROLLBACK", nullptr);
        return false;
    };
    if (busy) {
        *busy = false;
    }
    // IMMEDIATE takes the write lock before the last record is read, so no
    // other process can append between the read and the insert.
    std::string why;
    if (!Execute(m_db, "BEGIN IMMEDIATE", &why)) {
        return fail(why);
    }
    std::int64_t seq = 0;
    std::string prev = kNoHash;
    {
        Statement last(m_db, "SELECT seq, sha256 FROM records ORDER BY seq DESC LIMIT 1");
        if (!last) {
            return fail(ErrorOf(m_db));
        }
        const int step = sqlite3_step(last.get());
        if (step == SQLITE_ROW) {
            seq = sqlite3_column_int64(last.get(), 0);
            prev = last.Text(1);
        } else if (step != SQLITE_DONE) {
            return fail(ErrorOf(m_db));
        }
    }
    Statement insert(m_db,
                     "INSERT INTO records (seq, record, prev_sha256, sha256) VALUES (?, ?, ?, ?)");
    if (!insert) {
        return fail(ErrorOf(m_db));
    }
    for (const std::string& record : records) {
        ++seq;
        const std::string sha = RecordSha256(seq, prev, record);
        sqlite3_reset(insert.get());
        insert.Bind(1, seq);
        insert.Bind(2, record);
        insert.Bind(3, prev);
        insert.Bind(4, sha);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            return fail(ErrorOf(m_db));
        }
        prev = sha;
    }
    if (!Execute(m_db, "COMMIT", &why)) {
        return fail(why);
    }
    return true;
}

std::vector<JournalEntry> Journal::Read(const JournalQuery& query, std::string* error) const {
    std::string sql =
        "SELECT seq, record, prev_sha256, sha256, json_extract(record, '$.time'),"
        " json_extract(record, '$.phase'), json_extract(record, '$.operation'),"
        " json_extract(record, '$.user'),"
        " coalesce(json_extract(record, '$.device.address'), json_extract(record, '$.range')),"
        " coalesce(json_extract(record, '$.device.port'), json_extract(record, '$.port')),"
        " json_extract(record, '$.device.unit'),"
        " json_extract(record, '$.image.sha256'), json_extract(record, '$.outcome'),"
        " json_extract(record, '$.id'), json_extract(record, '$.succeeded'),"
        " json_extract(record, '$.options.dry_run')"
        " FROM records WHERE 1";
    if (!query.address.empty()) {
        sql += " AND json_extract(record, '$.device.address') = ?1";
    }
    if (query.port > 0) {
        sql += " AND json_extract(record, '$.device.port') = ?2";
    }
    if (!query.since.empty()) {
        sql += " AND json_extract(record, '$.time') >= ?3";
    }
    if (query.unit >= 0) {
        sql += " AND json_extract(record, '$.device.unit') = ?4";
    }
    sql += " ORDER BY seq DESC";
    if (query.newest > 0) {
        sql += " LIMIT " + std::to_string(query.newest);
    }
    std::vector<JournalEntry> entries;
    Statement select(m_db, sql.c_str());
    if (!select) {
        *error = ErrorOf(m_db);
        return entries;
    }
    if (!query.address.empty()) {
        select.Bind(1, query.address);
    }
    if (query.port > 0) {
        select.Bind(2, std::int64_t{query.port});
    }
    if (!query.since.empty()) {
        select.Bind(3, query.since);
    }
    if (query.unit >= 0) {
        select.Bind(4, std::int64_t{query.unit});
    }
    int step = 0;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
        JournalEntry entry;
        entry.seq = sqlite3_column_int64(select.get(), 0);
        entry.record = select.Text(1);
        entry.prevSha256 = select.Text(2);
        entry.sha256 = select.Text(3);
        entry.time = select.Text(4);
        entry.phase = select.Text(5);
        entry.operation = select.Text(6);
        entry.user = select.Text(7);
        entry.device = select.Text(8) + ":" + select.Text(9);
        const std::string unit = select.Text(10);
        if (!unit.empty() && unit != "0") {
            entry.device += "/" + unit;
        }
        entry.imageSha256 = select.Text(11);
        entry.outcome = select.Text(12);
        entry.id = select.Text(13);
        entry.succeeded = sqlite3_column_int(select.get(), 14) == 1;
        entry.dryRun = sqlite3_column_int(select.get(), 15) == 1;
        entries.push_back(std::move(entry));
    }
    if (step != SQLITE_DONE) {
        *error = ErrorOf(m_db);
    }
    return {entries.rbegin(), entries.rend()};
}

JournalCheck Journal::Check(const std::string& keptHead) const {
    JournalCheck check;
    const auto unreadable = [&](std::string why) {
        check.fault = JournalFault::kUnreadable;
        check.why = std::move(why);
        return check;
    };
    // Every page first: a damaged page would otherwise only end a walk
    // early, and a walk that ends early looks like a shorter chain.
    {
        Statement pages(m_db, "PRAGMA integrity_check(1)");
        if (!pages) {
            return unreadable(ErrorOf(m_db));
        }
        const int step = sqlite3_step(pages.get());
        if (step != SQLITE_ROW) {
            return unreadable(ErrorOf(m_db));
        }
        const std::string verdict = pages.Text(0);
        if (verdict != "ok") {
            return unreadable("database disk image is malformed (" + verdict + ")");
        }
    }
    Statement select(m_db,
                     "SELECT seq, record, prev_sha256, sha256, json_extract(record, '$.time')"
                     " FROM records ORDER BY seq");
    if (!select) {
        return unreadable(ErrorOf(m_db));
    }
    std::int64_t expected = 1;
    std::string prev = kNoHash;
    int step = 0;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
        const std::int64_t seq = sqlite3_column_int64(select.get(), 0);
        const std::string record = select.Text(1);
        const std::string prevSha = select.Text(2);
        const std::string sha = select.Text(3);
        const auto broken = [&](JournalFault fault) {
            check.fault = fault;
            check.brokenAt = seq;
            check.expected = expected;
            check.keptHeadAt = 0;  // only an intact chain can hold it
            return check;
        };
        // Every column as text: a record stored as anything else (a blob, a
        // number) is no record the journal wrote.
        for (int column = 0; column < 4; ++column) {
            const int type = sqlite3_column_type(select.get(), column);
            if (type != (column == 0 ? SQLITE_INTEGER : SQLITE_TEXT)) {
                return broken(JournalFault::kChanged);
            }
        }
        if (seq != expected) {
            return broken(JournalFault::kMissing);
        }
        if (prevSha != prev) {
            return broken(JournalFault::kNotFollowing);
        }
        if (RecordSha256(seq, prevSha, record) != sha) {
            return broken(JournalFault::kChanged);
        }
        if (!keptHead.empty() && sha == keptHead) {
            check.keptHeadAt = seq;
        }
        prev = sha;
        check.headTime = select.Text(4);
        ++expected;
        ++check.records;
    }
    if (step != SQLITE_DONE) {
        return unreadable(ErrorOf(m_db));
    }
    check.headSha256 = prev;
    if (!m_altered.empty()) {
        check.fault = JournalFault::kAltered;
        check.why = m_altered;
        check.keptHeadAt = 0;
    }
    return check;
}

std::uint64_t Journal::SizeBytes() const {
    return JournalSizeBytes(m_path);
}

std::uint64_t JournalSizeBytes(const std::string& path) {
    // Measured without opening the files: closing any descriptor of a
    // database file drops every lock this process holds on it (POSIX
    // advisory locks), and SQLite's own would go with it.
    std::uint64_t size = 0;
    for (const std::string& file : {path, path + "-wal"}) {
        std::error_code error;
        const std::uintmax_t bytes = std::filesystem::file_size(PathFromUtf8(file), error);
        size += error ? 0 : static_cast<std::uint64_t>(bytes);
    }
    return size;
}

}  // namespace kelvarin
