// The journal over SQLite, its hashes over OpenSSL's SHA-256.
#include "journal.h"

#include "files.h"
#include "paths.h"
#include "user_dirs.h"

#include <openssl/evp.h>
#include <sqlite3.h>

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

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS records ("
    " seq INTEGER PRIMARY KEY,"
    " record TEXT NOT NULL,"
    " prev_sha256 TEXT NOT NULL,"
    " sha256 TEXT NOT NULL);"
    // Append only, for whoever writes through SQLite without dropping these
    // first; the chain shows any change whoever makes it.
    "CREATE TRIGGER IF NOT EXISTS records_no_update BEFORE UPDATE ON records"
    " BEGIN SELECT RAISE(ABORT, 'the journal is append-only'); END;"
    "CREATE TRIGGER IF NOT EXISTS records_no_delete BEFORE DELETE ON records"
    " BEGIN SELECT RAISE(ABORT, 'the journal is append-only'); END;";

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

Journal::Journal(sqlite3* db, std::string path) : m_db(db), m_path(std::move(path)) {}

Journal::~Journal() {
    sqlite3_close(m_db);
}

std::unique_ptr<Journal> Journal::Open(const std::string& path, std::string* error,
                                       bool existing) {
    const std::filesystem::path native = PathFromUtf8(path);
    std::error_code missing;
    if (existing && !std::filesystem::is_regular_file(native, missing)) {
        *error = "no such journal";
        return nullptr;
    }
    if (native.has_parent_path() && !MakeFolders(Utf8FromPath(native.parent_path()))) {
        *error = "cannot make the folder " + Utf8FromPath(native.parent_path());
        return nullptr;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        *error = ErrorOf(db);
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // Write-ahead logging: appends from several processes wait for each
    // other's commits, and a reader never blocks a writer. A commit is in
    // the log when the process ends, however it ends; only a power loss may
    // take the last ones (synchronous NORMAL, for the fleet's speed). While
    // another process makes the database, switching its mode can be refused
    // as busy without waiting: tried again, as long as an append would wait.
    const auto started = std::chrono::steady_clock::now();
    for (;;) {
        if (Execute(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", error) &&
            Execute(db, kSchema, error)) {
            break;
        }
        const int code = sqlite3_errcode(db) & 0xFF;
        if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) ||
            std::chrono::steady_clock::now() - started > std::chrono::milliseconds(kBusyTimeoutMs)) {
            sqlite3_close(db);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::unique_ptr<Journal>(new Journal(db, path));
}

bool Journal::Append(const std::vector<std::string>& records, std::string* error) {
    // IMMEDIATE takes the write lock before the last record is read, so no
    // other process can append between the read and the insert.
    if (!Execute(m_db, "BEGIN IMMEDIATE", error)) {
        return false;
    }
    const auto fail = [&](const std::string& why) {
        *error = why;
        Execute(m_db, "ROLLBACK", nullptr);
        return false;
    };
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
    if (!Execute(m_db, "COMMIT", error)) {
        Execute(m_db, "ROLLBACK", nullptr);
        return false;
    }
    return true;
}

std::vector<JournalEntry> Journal::Read(const JournalQuery& query, std::string* error) const {
    std::string sql =
        "SELECT seq, record, prev_sha256, sha256, json_extract(record, '$.time'),"
        " json_extract(record, '$.phase'), json_extract(record, '$.operation'),"
        " json_extract(record, '$.user'), json_extract(record, '$.device.address'),"
        " json_extract(record, '$.device.port'), json_extract(record, '$.device.unit'),"
        " json_extract(record, '$.image.sha256'), json_extract(record, '$.outcome')"
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
        entries.push_back(std::move(entry));
    }
    if (step != SQLITE_DONE) {
        *error = ErrorOf(m_db);
    }
    return {entries.rbegin(), entries.rend()};
}

JournalCheck Journal::Check() const {
    JournalCheck check;
    Statement select(m_db, "SELECT seq, record, prev_sha256, sha256 FROM records ORDER BY seq");
    if (!select) {
        check.fault = JournalFault::kUnreadable;
        check.why = ErrorOf(m_db);
        return check;
    }
    std::int64_t expected = 1;
    std::string prev = kNoHash;
    while (sqlite3_step(select.get()) == SQLITE_ROW) {
        const std::int64_t seq = sqlite3_column_int64(select.get(), 0);
        const std::string record = select.Text(1);
        const std::string prevSha = select.Text(2);
        const std::string sha = select.Text(3);
        const auto broken = [&](JournalFault fault) {
            check.fault = fault;
            check.brokenAt = seq;
            check.expected = expected;
            return check;
        };
        if (seq != expected) {
            return broken(JournalFault::kMissing);
        }
        if (prevSha != prev) {
            return broken(JournalFault::kNotFollowing);
        }
        if (RecordSha256(seq, prevSha, record) != sha) {
            return broken(JournalFault::kChanged);
        }
        prev = sha;
        ++expected;
        ++check.records;
    }
    check.headSha256 = prev;
    return check;
}

std::uint64_t Journal::SizeBytes() const {
    // Measured without opening the files: closing any descriptor of a
    // database file drops every lock this process holds on it (POSIX
    // advisory locks), and SQLite's own would go with it.
    std::uint64_t size = 0;
    for (const std::string& file : {m_path, m_path + "-wal"}) {
        std::error_code error;
        const std::uintmax_t bytes = std::filesystem::file_size(PathFromUtf8(file), error);
        size += error ? 0 : static_cast<std::uint64_t>(bytes);
    }
    return size;
}

}  // namespace kelvarin
