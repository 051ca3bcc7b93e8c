// The journal's promises to an auditor: its check reads every page and
// tells a damaged, foreign or altered file from an intact one, a kept head
// catches a journal cut or replaced, reading never changes the file, and a
// locked journal holds up no one who appends to it.
#include "journal.h"
#include "journal_writer.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <filesystem>
#include <fstream>

namespace kelvarin {
namespace {

using test::ReadAll;
using test::TempDir;
using Clock = std::chrono::steady_clock;

// A record of about the size an operation's records have.
std::string Record(int n) {
    return "{\"time\":\"2026-12-10T00:00:00Z\",\"n\":" + std::to_string(n) + ",\"pad\":\"" +
           std::string(400, 'x') + "\"}";
}

// A journal of count records at path, appended one at a time.
void MakeJournal(const std::string& path, int count, int first = 1) {
    std::string error;
    std::unique_ptr<Journal> journal = Journal::Open(path, &error);
    ASSERT_TRUE(journal) << error;
    for (int n = first; n < first + count; ++n) {
        ASSERT_TRUE(journal->Append({Record(n)}, &error)) << error;
    }
}

// Runs sql on the database at path with SQLite itself, as another program would.
void Sql(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK)
        << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

// The check of the journal at path as history runs it: read-only.
JournalCheck CheckOf(const std::string& path, const std::string& head = {}) {
    std::string error;
    std::unique_ptr<Journal> journal = Journal::OpenForReading(path, &error);
    if (!journal) {
        JournalCheck check;
        check.fault = JournalFault::kUnreadable;
        check.why = error;
        return check;
    }
    return journal->Check(head);
}

void Overwrite(const std::string& path, std::size_t at, std::string_view bytes) {
    std::fstream file(TempDir::Native(path), std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(at));
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST(JournalCheck, DamagedPagesMakeTheFileUnreadableNeverAShorterIntactChain) {
    TempDir dir;
    const std::string intact = dir.Path() + "/journal.sqlite";
    MakeJournal(intact, 120);
    const JournalCheck whole = CheckOf(intact);
    ASSERT_TRUE(whole.Intact()) << whole.why;
    EXPECT_EQ(whole.records, 120);
    EXPECT_EQ(whole.headTime, "2026-12-10T00:00:00Z");
    const std::string bytes = ReadAll(intact);
    for (const std::size_t page : {2u, 5u, 9u}) {
        const std::string damaged = dir.Write("damaged-" + std::to_string(page) + ".sqlite", bytes);
        Overwrite(damaged, (page - 1) * 4096, std::string(16, '\xFF'));
        const JournalCheck check = CheckOf(damaged);
        EXPECT_EQ(check.fault, JournalFault::kUnreadable) << "page " << page << ": " << check.records;
        EXPECT_FALSE(check.why.empty());
    }
}

TEST(JournalCheck, OnlyAJournalsExactSchemaIsAJournal) {
    TempDir dir;
    const std::string foreign = dir.Path() + "/foreign.sqlite";
    Sql(foreign, "CREATE TABLE plants (name TEXT); INSERT INTO plants VALUES ('tea');");
    const std::string empty = dir.Write("empty.sqlite", "");
    const std::string dropped = dir.Path() + "/dropped.sqlite";
    MakeJournal(dropped, 3);
    Sql(dropped, "DROP TABLE records;");
    const std::string text = dir.Write("text.sqlite", "not a database at all, only words");
    for (const std::string& path : {foreign, empty, dropped, text, dir.Path() + "/missing.sqlite"}) {
        const std::string before = ReadAll(path);
        std::string error;
        EXPECT_FALSE(Journal::OpenForReading(path, &error)) << path;
        EXPECT_FALSE(error.empty());
        // Reading made nothing and changed nothing.
        EXPECT_EQ(ReadAll(path), before) << path;
        EXPECT_FALSE(std::filesystem::exists(TempDir::Native(path + "-wal")));
        EXPECT_FALSE(std::filesystem::exists(TempDir::Native(path + "-shm")));
    }
    EXPECT_FALSE(std::filesystem::exists(TempDir::Native(dir.Path() + "/missing.sqlite")));
    // Appending to a foreign database is refused too: its tables are not ours to add to.
    std::string error;
    EXPECT_FALSE(Journal::Open(foreign, &error));
    EXPECT_NE(error.find("not a Kelvarin journal"), std::string::npos) << error;
}

TEST(JournalCheck, GuardsRemovedPastSqliteFailTheCheckEvenWithEveryHashRight) {
    TempDir dir;
    const std::string path = dir.Path() + "/journal.sqlite";
    MakeJournal(path, 4);
    Sql(path, "DROP TRIGGER records_no_delete;");
    const JournalCheck check = CheckOf(path);
    EXPECT_EQ(check.fault, JournalFault::kAltered);
    EXPECT_EQ(check.records, 4);
    std::string error;
    EXPECT_FALSE(Journal::Open(path, &error)) << "a tampered journal is not appended to";
    // A changed record is still named as such.
    Sql(path, "DROP TRIGGER records_no_update; UPDATE records SET record = '{}' WHERE seq = 3;");
    EXPECT_EQ(CheckOf(path).fault, JournalFault::kChanged);
    EXPECT_EQ(CheckOf(path).brokenAt, 3);
}

TEST(JournalCheck, AKeptHeadCatchesACutOrAReplacedJournal) {
    TempDir dir;
    const std::string path = dir.Path() + "/journal.sqlite";
    MakeJournal(path, 10);
    const JournalCheck full = CheckOf(path);
    const std::string head = full.headSha256;
    EXPECT_EQ(CheckOf(path, head).keptHeadAt, 10);
    // Later work does not lose the head kept before it.
    MakeJournal(path, 2, 11);
    EXPECT_EQ(CheckOf(path, head).keptHeadAt, 10);
    // The same first eight records, the newest cut: intact, but no head.
    const std::string cut = dir.Path() + "/cut.sqlite";
    MakeJournal(cut, 8);
    EXPECT_TRUE(CheckOf(cut, head).Intact());
    EXPECT_EQ(CheckOf(cut, head).keptHeadAt, 0);
    // Another journal of as many records: no head either.
    const std::string other = dir.Path() + "/other.sqlite";
    MakeJournal(other, 10, 100);
    EXPECT_EQ(CheckOf(other, head).keptHeadAt, 0);
}

TEST(JournalCheck, ReadingAJournalOthersAreWritingChangesNothingOfIt) {
    TempDir dir;
    const std::string path = dir.Path() + "/journal.sqlite";
    MakeJournal(path, 5);
    // Closed: read as it is, with nothing made beside it.
    const std::string before = ReadAll(path);
    const auto stamp = std::filesystem::last_write_time(TempDir::Native(path));
    std::string error;
    {
        std::unique_ptr<Journal> journal = Journal::OpenForReading(path, &error);
        ASSERT_TRUE(journal) << error;
        EXPECT_EQ(journal->Read({}, &error).size(), 5u);
        EXPECT_TRUE(journal->Check().Intact());
    }
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(std::filesystem::last_write_time(TempDir::Native(path)), stamp);
    EXPECT_FALSE(std::filesystem::exists(TempDir::Native(path + "-wal")));
    // Open for appending elsewhere, its newest records in the log: they are read too.
    std::unique_ptr<Journal> writer = Journal::Open(path, &error);
    ASSERT_TRUE(writer->Append({Record(6)}, &error)) << error;
    std::unique_ptr<Journal> reader = Journal::OpenForReading(path, &error);
    ASSERT_TRUE(reader) << error;
    EXPECT_EQ(reader->Check().records, 6);
}

TEST(JournalOpen, WritersMakingOneJournalAtOnceAllAppend) {
    for (int round = 0; round < 20; ++round) {
        TempDir dir;
        const std::string path = dir.Path() + "/journal.sqlite";
        std::vector<std::thread> writers;
        std::atomic<int> appended{0};
        for (int w = 0; w < 4; ++w) {
            writers.emplace_back([&, w] {
                std::string error;
                std::unique_ptr<Journal> journal = Journal::Open(path, &error);
                if (journal && journal->Append({Record(w)}, &error)) {
                    ++appended;
                }
            });
        }
        for (std::thread& writer : writers) {
            writer.join();
        }
        ASSERT_EQ(appended.load(), 4) << round;
        EXPECT_EQ(CheckOf(path).records, 4);
    }
}

TEST(JournalOpen, NoLinkPlantedAtItsNamesIsFollowed) {
    TempDir dir;
    const std::string victim = dir.Write("victim.pem", "-----BEGIN CERTIFICATE-----\n");
    std::error_code linked;
    std::filesystem::create_symlink(TempDir::Native(victim),
                                    TempDir::Native(dir.Path() + "/journal.sqlite"), linked);
    std::filesystem::create_symlink(TempDir::Native(victim),
                                    TempDir::Native(dir.Path() + "/other.sqlite-wal"), linked);
    if (linked) {
        GTEST_SKIP() << "no symbolic links here";
    }
    std::string error;
    EXPECT_FALSE(Journal::Open(dir.Path() + "/journal.sqlite", &error));
    EXPECT_FALSE(Journal::Open(dir.Path() + "/other.sqlite", &error));
    EXPECT_NE(error.find("other.sqlite-wal"), std::string::npos) << error;
    EXPECT_EQ(ReadAll(victim), "-----BEGIN CERTIFICATE-----\n");
}

TEST(JournalWriter, ALockedJournalHoldsUpNoAppendAndLosesNothingOnceFree) {
    TempDir dir;
    const std::string path = dir.Path() + "/journal.sqlite";
    MakeJournal(path, 1);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    {
        JournalWriter writer(path);
        const auto start = Clock::now();
        for (int n = 2; n <= 201; ++n) {
            writer.Append(Record(n));
        }
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));
        EXPECT_FALSE(writer.WaitWritten(std::chrono::milliseconds(300)));
        sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
        EXPECT_TRUE(writer.WaitWritten(std::chrono::seconds(10)));
        const JournalWriter::Summary summary = writer.Finish(std::chrono::seconds(1));
        EXPECT_EQ(summary.lost, 0u) << summary.why;
    }
    sqlite3_close(holder);
    std::string error;
    std::unique_ptr<Journal> journal = Journal::OpenForReading(path, &error);
    const std::vector<JournalEntry> entries = journal->Read({}, &error);
    ASSERT_EQ(entries.size(), 201u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].record, Record(static_cast<int>(i) + 1));  // in the order appended
    }
    EXPECT_TRUE(journal->Check().Intact());
}

TEST(JournalWriter, ALockHeldPastTheEndLosesTheRecordsWithinTheBoundAndSaysWhy) {
    TempDir dir;
    const std::string path = dir.Path() + "/journal.sqlite";
    MakeJournal(path, 1);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    JournalWriter writer(path);
    writer.Append(Record(2));
    writer.Append(Record(3));
    const auto start = Clock::now();
    const JournalWriter::Summary summary = writer.Finish(std::chrono::milliseconds(300));
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(summary.lost, 2u);
    EXPECT_NE(summary.why.find("locked"), std::string::npos) << summary.why;
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
}

}  // namespace
}  // namespace kelvarin
