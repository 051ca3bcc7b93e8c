// The journal: every operation on a device, from every front end, kept in an
// SQLite database that records are only ever appended to, each chained to
// the one before by SHA-256 so that any change, deletion or insertion shows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace kelvarin {

// SHA-256 of bytes, as 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

// The journal's default place: journal.sqlite in Kelvarin's folder of the
// user's state folder ($XDG_STATE_HOME/kelvarin, else
// ~/.local/state/kelvarin; on Windows %LOCALAPPDATA%\Kelvarin). Nothing when
// no state folder is known.
std::optional<std::string> DefaultJournalPath();

// One record as kept: its place in the chain, its text (a JSON object) and
// the hashes that chain it.
struct JournalEntry {
    std::int64_t seq = 0;     // 1, 2, 3, ... in the order appended
    std::string record;       // the JSON object, as appended
    std::string prevSha256;   // the record before's sha256 (64 zeros for the first)
    std::string sha256;       // SHA-256 of seq, prevSha256 and record (see Journal)
    // Members of the record for a listing, read by the database's JSON
    // functions (escapes decoded); empty where the record has none.
    std::string time;         // UTC, as written
    std::string phase;        // "begin" or "end"
    std::string operation;    // send, verify, pull, fleet
    std::string user;
    std::string device;       // ADDRESS:PORT, and /UNIT when not 0
    std::string imageSha256;
    std::string outcome;      // the end record's; empty in a begin record
    std::string id;           // the operation's, shared by its two records
    bool succeeded = false;   // the end record's judgement
    bool dryRun = false;      // the operation wrote nothing by design
};

// What to read of a journal.
struct JournalQuery {
    std::string address;         // only records of this device address; empty: all
    int port = 0;                // and this port; 0: any
    int unit = -1;               // and this unit; -1: any
    std::string since;           // only records at or after this time (YYYY-MM-DD...); empty: all
    std::size_t newest = 0;      // only the newest this many; 0: all
};

// What does not hold of a record in the chain.
enum class JournalFault {
    kNone,
    kMissing,       // records before it are missing (deleted): seq is not the next
    kNotFollowing,  // its predecessor's hash is not the record before's (one was inserted or changed)
    kChanged,       // its contents do not match its hash
    kUnreadable,    // the database could not be read (why says why)
    kAltered,       // every record holds, but the schema was changed (why says how)
};

// How a walk of the chain ended.
struct JournalCheck {
    JournalFault fault = JournalFault::kNone;
    std::int64_t records = 0;     // records that hold
    std::int64_t brokenAt = 0;    // the first record that does not (its seq)
    std::int64_t expected = 0;    // kMissing: the seq that should have come
    std::string why;              // kUnreadable: SQLite's words
    std::string headSha256;       // the last record's sha256, to keep elsewhere
    std::string headTime;         // and its time
    // A kept head asked about: the seq of the record in the intact chain
    // whose sha256 it is; 0 when none is (or none was asked about).
    std::int64_t keptHeadAt = 0;

    bool Intact() const { return fault == JournalFault::kNone; }
};

// An open journal. Several processes may append to one journal at once:
// each append is one transaction that takes the database's write lock,
// reads the last record and adds the next, so none is lost or interleaved.
class Journal {
  public:
    // Opens the journal at path for appending, making it (and its folder)
    // when missing: the database file is made exclusively and never opened
    // through a link. Nothing, with the reason in *error, when it cannot be
    // opened or holds anything but a journal.
    // While another process holds the lock, opening waits as an append
    // does (WaitWhileBusy), until giveUp() turns true when given.
    static std::unique_ptr<Journal> Open(const std::string& path, std::string* error,
                                         std::function<bool()> giveUp = {});
    // Opens the journal at path for reading only: the file and its folder
    // are never created, changed or converted, and a journal the user may
    // only read can be read. Nothing, with the reason in *error, when there
    // is no such file, SQLite cannot open it, or its schema is not exactly a
    // journal's (a foreign or an empty database).
    static std::unique_ptr<Journal> OpenForReading(const std::string& path, std::string* error);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Appends records (JSON objects), in order, in one transaction; each
    // record's hash covers its seq, the hash before it and its text. False,
    // with the reason in *error, when they could not be written (none was);
    // *busy then tells whether another process's lock was the reason.
    bool Append(const std::vector<std::string>& records, std::string* error,
                bool* busy = nullptr);

    // While another process holds the lock, an append waits until it is
    // free or until giveUp() turns true (looked at every 10 ms), instead of
    // the ten seconds it waits by default.
    void WaitWhileBusy(std::function<bool()> giveUp);

    // The records query asks for, oldest first.
    std::vector<JournalEntry> Read(const JournalQuery& query, std::string* error) const;

    // Walks the whole chain: first every page of the database (a damaged
    // file is kUnreadable with SQLite's words), then every record's hash,
    // its predecessor's, and seq without gaps from 1. keptHead, when given,
    // is looked for among the records that hold (JournalCheck::keptHeadAt).
    JournalCheck Check(const std::string& keptHead = {}) const;

    // The database's size in bytes (the file and its write-ahead log).
    std::uint64_t SizeBytes() const;

    const std::string& Path() const { return m_path; }

  private:
    Journal(sqlite3* db, std::string path);

    sqlite3* m_db;
    std::string m_path;
    std::function<bool()> m_giveUp;
    std::string m_altered;  // read only: how its schema was changed; empty when it was not
};

// The size in bytes of the journal at path (the file and its write-ahead
// log), measured without opening it; 0 when it is not there.
std::uint64_t JournalSizeBytes(const std::string& path);

// The hash of one record in the chain.
std::string RecordSha256(std::int64_t seq, std::string_view prevSha256, std::string_view record);

}  // namespace kelvarin
