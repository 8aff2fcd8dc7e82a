// The record of earlier runs: it reads what every earlier version wrote
// (the pretty record, journal lines, a line cut off by a killed run), it
// round-trips every byte of names and messages, and no claim reaches the
// journal before the files it claims were synced.
#include "tree/record.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <list>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace tvconv::tree {
namespace {

namespace fs = std::filesystem;

// A record as the first version wrote it: pretty-printed, a name that is not
// UTF-8 as hex.
constexpr const char* kPrettyRecord = R"({
 "format_version": 1,
 "tool": "tvconv-tree 1.0.0",
 "source": "/s",
 "target": "/t",
 "files": [
  {
   "target": "a.html",
   "source": "a.html",
   "source_id": [
    65024,
    10960922,
    20,
    1796897149964673849
   ],
   "source_hash": "566146fe706f7063e4608c2f6d3c1fdc",
   "inputs": "a11be69c57cc65f781fc1f3d926e2309",
   "written_hash": "5997bea28f2e37b54430998932528061",
   "target_id": [
    65024,
    10969097,
    26,
    1796897149973609615
   ],
   "findings": [
    {
     "code": "unconvertible-operator",
     "line": 1,
     "message": "Unconvertible operator 'macro_exists': edit manually"
    }
   ]
  },
  {
   "target": {
    "hex": "62ff2e676966"
   },
   "source": {
    "hex": "62ff2e676966"
   },
   "source_id": [
    65024,
    10960923,
    1,
    1796897149968673849
   ],
   "source_hash": "5c7401c0ec22eeeeeaf06c6480b2cd11",
   "inputs": "ba7ccb912e65ef1e1849a1373130fbdd",
   "written_hash": "5c7401c0ec22eeeeeaf06c6480b2cd11",
   "target_id": [
    65024,
    10969098,
    1,
    1796897149975764969
   ],
   "findings": []
  }
 ]
}
)";

// A journal line as every version wrote it.
std::string journal_line(const std::string& target, const std::string& hash) {
    return R"({"target":")" + target + R"(","source":")" + target +
           R"(","source_id":[1,2,3,4],"source_hash":"s","inputs":"i","written_hash":")" + hash +
           R"(","target_id":[5,6,7,8],"findings":[{"code":"nul-byte","line":null,"message":"m"}]})";
}

class TreeRecord : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tvconv-record-test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "rec.json").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string contents(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void put(const std::string& file, const std::string& data) {
        std::ofstream(file, std::ios::binary) << data;
    }
    // Syncs that count themselves and record how long the journal was then.
    Record::Batching counted(std::size_t files, std::chrono::milliseconds interval) {
        return {files, interval, [this] {
                    ++syncs_;
                    journal_at_sync_.push_back(contents(path_ + ".journal"));
                    record_at_sync_.push_back(fs::exists(path_));
                    return Error();
                }};
    }

    fs::path dir_;
    std::string path_;
    int syncs_ = 0;
    std::vector<std::string> journal_at_sync_;
    std::vector<bool> record_at_sync_;
};

// "p0", "p1"...: a target name.
std::string name(int n) {
    std::string s = "p";
    s += char('0' + n);
    return s;
}

FileRecord sample(int n) {
    FileRecord f;
    f.source = "dir/p" + std::to_string(n) + ".html";
    f.source_id = {1u, 100u + unsigned(n), 2048u, 1796897149964673849 + n};
    f.source_hash = content_hash("source " + std::to_string(n));
    f.inputs = content_hash("inputs");
    f.written_hash = content_hash("written " + std::to_string(n));
    f.target_id = {1u, 900u + unsigned(n), 2050u, -5};
    // Odd ones were merged: their base is not what they hold.
    f.base_hash = n % 2 ? content_hash("base " + std::to_string(n)) : f.written_hash;
    if (n % 3 == 1) f.conflict_base = content_hash("conflict " + std::to_string(n));
    if (n % 2)
        f.findings.push_back(
            Finding::at(DiagnosticCode::nul_byte, 3, "2 NUL bytes \"quoted\" \\ \t\x01"));
    f.findings.push_back(
        Finding::at(DiagnosticCode::utf8_bom, std::nullopt, "bytes \xff\xfe that are not UTF-8"));
    // A finding of a construct: its line in the target too.
    f.findings.push_back(Finding::at(DiagnosticCode::unconvertible_operator, 4, "remarked"));
    f.findings.back().output_line = 27 + n;
    return f;
}

// sample(n) as staged with `bytes`.
FileRecord record_of(int n, const std::string& bytes) {
    FileRecord f = sample(n);
    f.written_hash = content_hash(bytes);
    return f;
}

TEST_F(TreeRecord, ReadsThePrettyRecordOfEarlierVersions) {
    put(path_, kPrettyRecord);
    Record record;
    ASSERT_FALSE(record.open(path_, "/s", "/t"));
    ASSERT_EQ(record.files().size(), 2u);
    const FileRecord* a = record.find("a.html");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->source_id, (Identity{65024, 10960922, 20, 1796897149964673849}));
    EXPECT_EQ(a->target_id.mtime_ns, 1796897149973609615);
    EXPECT_EQ(a->written_hash, "5997bea28f2e37b54430998932528061");
    ASSERT_EQ(a->findings.size(), 1u);
    EXPECT_EQ(a->findings[0], (Finding::at(DiagnosticCode::unconvertible_operator, 1,
                                           "Unconvertible operator 'macro_exists': edit "
                                           "manually")));
    const FileRecord* gif = record.find("b\xff.gif");
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(gif->source, "b\xff.gif");
    EXPECT_TRUE(gif->findings.empty());
    EXPECT_FALSE(record.changed());
}

TEST_F(TreeRecord, WritesCompactAndReadsItBackByteForByte) {
    {
        Record record;
        ASSERT_FALSE(record.open(path_, "/s", "/t\xff"));
        record.set_batching(counted(256, std::chrono::hours(1)));
        for (int n = 0; n < 5; ++n) ASSERT_FALSE(record.claim(name(n), sample(n)));
        ASSERT_FALSE(record.claim("name \xc3", sample(5)));
        ASSERT_FALSE(record.save());
    }
    std::string text = contents(path_);
    EXPECT_EQ(text.find("\n "), std::string::npos) << "not pretty-printed";
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7) << "a line per file, and the end";
    auto j = nlohmann::json::parse(text);
    EXPECT_EQ(j["format_version"], 1);
    EXPECT_EQ(j["target"]["hex"], "2f74ff");
    EXPECT_EQ(j["files"].size(), 6u);
    EXPECT_FALSE(fs::exists(path_ + ".journal"));

    Record again;
    ASSERT_FALSE(again.open(path_, "/s", "/t\xff"));
    ASSERT_EQ(again.files().size(), 6u);
    for (int n = 0; n < 5; ++n) EXPECT_EQ(*again.find(name(n)), sample(n)) << n;
    EXPECT_EQ(*again.find("name \xc3"), sample(5));
}

TEST_F(TreeRecord, TheJournalReplaysOverTheRecordAndSkipsCutLines) {
    put(path_, kPrettyRecord);
    // A run killed twice: a line cut off in the middle, then one at the end.
    put(path_ + ".journal",
        journal_line("a.html", "new") + "\n" + journal_line("c.html", "c").substr(0, 50) + "\n" +
            journal_line("d.html", "d") + "\n" + journal_line("e.html", "e").substr(0, 70));
    {
        Record record;
        ASSERT_FALSE(record.open(path_, "/s", "/t"));
        EXPECT_TRUE(record.changed());
        EXPECT_EQ(record.files().size(), 3u);
        EXPECT_EQ(record.find("a.html")->written_hash, "new");
        EXPECT_EQ(record.find("a.html")->findings[0],
                  (Finding::at(DiagnosticCode::nul_byte, std::nullopt, "m")));
        EXPECT_EQ(record.find("d.html")->target_id, (Identity{5, 6, 7, 8}));
        EXPECT_EQ(record.find("c.html"), nullptr);
        EXPECT_EQ(record.find("e.html"), nullptr);

        // The next batch starts on a line of its own, not inside the cut one.
        record.set_batching(counted(1, std::chrono::hours(1)));
        ASSERT_FALSE(record.claim("f.html", sample(1)));
    }
    Record replayed;
    ASSERT_FALSE(replayed.open(path_, "/s", "/t"));
    EXPECT_EQ(replayed.files().size(), 4u);
    ASSERT_NE(replayed.find("f.html"), nullptr);
    EXPECT_EQ(*replayed.find("f.html"), sample(1));
}

// Claims reach the journal in batches, each after one sync of the target;
// the record is written after one more.
TEST_F(TreeRecord, NoClaimIsJournalledBeforeTheSync) {
    Record record;
    ASSERT_FALSE(record.open(path_, "/s", "/t"));
    record.set_batching(counted(3, std::chrono::hours(1)));
    ASSERT_FALSE(record.claim("p0", sample(0)));
    ASSERT_FALSE(record.claim("p1", sample(1)));
    EXPECT_EQ(syncs_, 0);
    EXPECT_FALSE(fs::exists(path_ + ".journal"));
    ASSERT_FALSE(record.claim("p2", sample(2)));
    ASSERT_EQ(syncs_, 1);
    EXPECT_EQ(journal_at_sync_[0], "") << "synced before the batch was written";
    std::string journal = contents(path_ + ".journal");
    EXPECT_EQ(std::count(journal.begin(), journal.end(), '\n'), 3);

    ASSERT_FALSE(record.claim("p3", sample(3)));
    EXPECT_EQ(syncs_, 1);
    EXPECT_EQ(contents(path_ + ".journal"), journal);
    ASSERT_FALSE(record.save());
    ASSERT_EQ(syncs_, 2);
    EXPECT_EQ(journal_at_sync_[1], journal) << "the last batch waited for the sync";
    EXPECT_FALSE(record_at_sync_[1]) << "the record waited for the sync";
    EXPECT_FALSE(fs::exists(path_ + ".journal"));
    EXPECT_FALSE(record.changed());

    // A batch is also due when it has waited long enough.
    record.set_batching(counted(1000, std::chrono::milliseconds(0)));
    ASSERT_FALSE(record.claim("p4", sample(4)));
    EXPECT_EQ(syncs_, 3);
    EXPECT_TRUE(fs::exists(path_ + ".journal"));
}

// A staged file: its temporary file written beside `path`, its claim.
Staged staged_file(const fs::path& dir, const std::string& target, const std::string& bytes,
                   int n) {
    Staged s;
    s.target_path = target;
    s.path = (dir / target).string();
    s.temp = (dir / (".tvconv-tree.tmp" + std::to_string(n))).string();
    std::ofstream(s.temp, std::ios::binary) << bytes;
    s.file = sample(n);
    s.file.written_hash = content_hash(bytes);
    s.intent.written_hash = s.file.written_hash;
    s.intent.held = Intent::Held::kNoFile;
    s.token = reinterpret_cast<const void*>(std::uintptr_t(n + 1));
    return s;
}

// The files of a batch are announced (one line each, after one sync of the
// target) before any is renamed into place; their claims follow after the
// next sync, and the record copies those lines.
TEST_F(TreeRecord, StagedFilesAreAnnouncedBeforeTheyAreRenamed) {
    std::optional<Record> record(std::in_place);
    ASSERT_FALSE(record->open(path_, "/s", "/t"));
    record->set_batching(counted(2, std::chrono::hours(1)));
    EXPECT_EQ(record->use_slots(4, 2), 4u);
    std::vector<std::string> placed;
    record->on_placed([&](const void* token, const Error& e) {
        std::string n = std::to_string(std::uintptr_t(token));
        if (e) n += ' ' + e.message();
        placed.push_back(n);
    });
    fs::create_directory(dir_ / "t");
    std::list<Staged> one;
    one.push_back(staged_file(dir_ / "t", "p0", "zero", 0));
    record->stage(one);
    EXPECT_TRUE(one.empty());
    EXPECT_EQ(syncs_, 0);
    EXPECT_FALSE(fs::exists(dir_ / "t" / "p0")) << "waits for its batch";
    one.push_back(staged_file(dir_ / "t", "p1", "one", 1));
    record->stage(one);
    ASSERT_EQ(syncs_, 1);
    EXPECT_EQ(placed, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(contents((dir_ / "t" / "p1").string()), "one");
    EXPECT_FALSE(fs::exists(dir_ / "t" / ".tvconv-tree.tmp1"));
    const std::string journal = contents(path_ + ".journal");
    std::string announced;
    for (const char* bytes : {"zero", "one"})
        announced += R"({"intent":"p)" + std::to_string(announced.empty() ? 0 : 1) +
                     R"(","written_hash":")" + content_hash(bytes) + R"(","held":null})" + '\n';
    EXPECT_EQ(journal, announced);
    ASSERT_NE(record->find("p1"), nullptr);
    EXPECT_EQ(record->find("p1")->written_hash, content_hash("one"));

    ASSERT_FALSE(record->claim("p2", sample(2)));
    ASSERT_FALSE(record->save());
    EXPECT_EQ(journal_at_sync_[1], journal) << "the claims waited for the next sync";
    record.reset();  // the run ends
    Record again;
    ASSERT_FALSE(again.open(path_, "/s", "/t"));
    ASSERT_EQ(again.files().size(), 3u);
    EXPECT_EQ(*again.find("p1"), record_of(1, "one"));
    EXPECT_EQ(*again.find("p2"), sample(2));
    EXPECT_EQ(again.intent("p0"), nullptr) << "resolved by its claim";
}

// A batch that cannot be announced is not renamed: its temporary files go.
TEST_F(TreeRecord, AStagedFileWhoseBatchFailsIsRemoved) {
    Record record;
    ASSERT_FALSE(record.open(path_, "/s", "/t"));
    record.set_batching({1, std::chrono::hours(1), [] { return Error("cannot sync", "/t", EIO); }});
    std::string failure;
    record.on_placed([&](const void*, const Error& e) { failure = e.message(); });
    std::list<Staged> one;
    one.push_back(staged_file(dir_, "p0", "zero", 0));
    record.stage(one);
    EXPECT_EQ(failure, "cannot sync the target directory: Input/output error");
    EXPECT_FALSE(fs::exists(dir_ / "p0"));
    EXPECT_FALSE(fs::exists(dir_ / ".tvconv-tree.tmp0"));
    EXPECT_EQ(record.find("p0"), nullptr);
}

// What a killed run announced but never claimed covers its target: the
// bytes it would hold, the bytes it held, or none for a new file; the
// record keeps such an intent until a claim resolves it.
TEST_F(TreeRecord, AnIntentOfAKilledRunCoversItsTarget) {
    put(path_, kPrettyRecord);
    std::string journal;
    for (std::string line : {R"({"intent":"a.html","written_hash":"new","held":"old"})",
                             R"({"intent":"n.html","written_hash":"fresh","held":null})",
                             R"({"intent":"f.html","written_hash":"forced"})",
                             R"({"intent":"z.html","written_hash":"z","held":null})"})
        journal += line + '\n';
    journal += journal_line("z.html", "z");
    journal += "\n{\"intent\":\"cut\",\"writ";
    put(path_ + ".journal", journal);
    {
        Record record;
        ASSERT_FALSE(record.open(path_, "/s", "/t"));
        record.set_batching(counted(256, std::chrono::hours(1)));
        const Intent* a = record.intent("a.html");
        ASSERT_NE(a, nullptr);
        EXPECT_TRUE(a->covers("new"));
        EXPECT_TRUE(a->covers("old"));
        EXPECT_FALSE(a->covers(content_hash("")));
        EXPECT_FALSE(a->covers("edited"));
        ASSERT_NE(record.intent("n.html"), nullptr);
        EXPECT_TRUE(record.intent("n.html")->covers(content_hash(""))) << "emptied by a power cut";
        ASSERT_NE(record.intent("f.html"), nullptr);
        EXPECT_FALSE(record.intent("f.html")->covers(content_hash("")));
        EXPECT_EQ(record.intent("z.html"), nullptr);
        EXPECT_EQ(record.intent("cut"), nullptr);
        ASSERT_FALSE(record.save());
    }
    {
        Record kept;
        ASSERT_FALSE(kept.open(path_, "/s", "/t"));
        kept.set_batching(counted(256, std::chrono::hours(1)));
        ASSERT_NE(kept.intent("a.html"), nullptr);
        EXPECT_EQ(*kept.intent("a.html"), (Intent{"new", Intent::Held::kHash, "old", {}, {}}));
        EXPECT_EQ(*kept.intent("n.html"), (Intent{"fresh", Intent::Held::kNoFile, "", {}, {}}));
        EXPECT_EQ(*kept.intent("f.html"), (Intent{"forced", Intent::Held::kNotOurs, "", {}, {}}));
        ASSERT_FALSE(kept.claim("a.html", sample(0)));
        kept.forget("n.html");
        ASSERT_FALSE(kept.save());
    }
    Record resolved;
    ASSERT_FALSE(resolved.open(path_, "/s", "/t"));
    EXPECT_EQ(resolved.intent("a.html"), nullptr);
    EXPECT_EQ(resolved.intent("n.html"), nullptr);
    EXPECT_NE(resolved.intent("f.html"), nullptr);
}

TEST_F(TreeRecord, AFailedSyncJournalsNothing) {
    Record record;
    ASSERT_FALSE(record.open(path_, "/s", "/t"));
    record.set_batching({1, std::chrono::hours(1), [] { return Error("cannot sync", "/t", EIO); }});
    Error e = record.claim("p0", sample(0));
    EXPECT_EQ(e.message(), "cannot sync the target directory: Input/output error");
    EXPECT_FALSE(fs::exists(path_ + ".journal"));
    e = record.save();
    EXPECT_EQ(e.message(), "cannot sync the target directory: Input/output error");
    EXPECT_FALSE(fs::exists(path_)) << "no record claims what may not be on disk";
}

TEST_F(TreeRecord, TheLockFileGoesWithItsRun) {
    {
        Record record;
        ASSERT_FALSE(record.open(path_, "/s", "/t"));
        EXPECT_TRUE(fs::exists(path_ + ".lock"));
    }
    EXPECT_FALSE(fs::exists(path_ + ".lock"));
    Record next;
    ASSERT_FALSE(next.open(path_, "/s", "/t"));
    Record other;
    EXPECT_EQ(other.open(path_, "/s", "/t").message(),
              "another tvconv-tree run is writing this target now");
}

TEST_F(TreeRecord, OneRunAtATimeAndNoUnreadableRecord) {
    Record first, second;
    ASSERT_FALSE(first.open(path_, "/s", "/t"));
    EXPECT_EQ(second.open(path_, "/s", "/t").message(),
              "another tvconv-tree run is writing this target now");

    put(path_, R"({"format_version": 2, "files": []})");
    Record other;
    EXPECT_EQ(other.open((dir_ / "rec.json").string(), "/s", "/t").message(),
              "another tvconv-tree run is writing this target now");
    std::string elsewhere = (dir_ / "b.json").string();
    put(elsewhere, R"({"format_version": 2, "files": []})");
    Record b;
    EXPECT_EQ(b.open(elsewhere, "/s", "/t").message(),
              elsewhere + ": a record of another format; remove it to start afresh");
    std::string broken = (dir_ / "c.json").string();
    put(broken, R"({"format_version": 1, "files": [{"target": "x"}]})");
    Record c;
    EXPECT_EQ(c.open(broken, "/s", "/t").message(),
              broken +
                  ": not a readable record ([json.exception.out_of_range.403] key 'source' "
                  "not found); remove it to start afresh");
    std::string empty = (dir_ / "d.json").string();
    put(empty, "");
    Record d;
    EXPECT_TRUE(d.open(empty, "/s", "/t").message().starts_with(empty + ": not a readable record"));
}

TEST_F(TreeRecord, OpeningRemovesTheTemporaryCopyOfAKilledSave) {
    put(path_ + ".Ab12Cd", "half a record");
    put(path_ + ".notmine", "kept");
    Record record;
    ASSERT_FALSE(record.open(path_, "/s", "/t"));
    EXPECT_FALSE(fs::exists(path_ + ".Ab12Cd"));
    EXPECT_TRUE(fs::exists(path_ + ".notmine"));
}

// The last conversions beside the record: each stored once, read back only
// when whole, and dropped once the record names them no more and they take
// more room than those it names.
TEST_F(TreeRecord, StoredBasesAreCheckedAndCollected) {
    // `pag` is the page as it stood at a conflict, named by written_hash.
    const std::string one = "one\n", two = "two\n", pag = "pag\n", dead(100, 'x');
    {
        Record record;
        ASSERT_FALSE(record.open(path_, "/s", "/t"));
        record.set_batching(counted(256, std::chrono::hours(1)));
        for (const std::string* b : {&one, &two, &pag, &dead})
            ASSERT_FALSE(record.put_base(content_hash(*b), *b));
        ASSERT_FALSE(record.put_base(content_hash(one), one)) << "a second put is no failure";
        FileRecord f = sample(0);
        f.base_hash = content_hash(one);
        f.conflict_base = content_hash(two);
        f.written_hash = content_hash(pag);
        ASSERT_FALSE(record.claim("a.html", f));
        ASSERT_FALSE(record.save());
    }
    const std::string store = BaseStore::directory_of(path_);
    const fs::directory_iterator first(store), last;
    std::vector<fs::path> packs(first, last);
    ASSERT_EQ(packs.size(), 1u);
    EXPECT_EQ(fs::file_size(packs[0]), 3 * (33 + 2) + 3 * 4) << "one entry each, none dead";

    Record again;
    ASSERT_FALSE(again.open(path_, "/s", "/t"));
    EXPECT_EQ(again.find("a.html")->base_hash, content_hash(one));
    EXPECT_EQ(again.find("a.html")->conflict_base, content_hash(two));
    std::string bytes;
    ASSERT_FALSE(again.load_base(content_hash(one), bytes));
    EXPECT_EQ(bytes, one);
    ASSERT_FALSE(again.load_base(content_hash(pag), bytes)) << "kept while its conflict is open";
    EXPECT_EQ(again.load_base(content_hash(dead), bytes).errnum(), ENOENT);
    EXPECT_TRUE(again.load_base("../a.html", bytes)) << "only hashes name bases";

    // Damaged: same size, other bytes; cut short: the entry is not there.
    std::string pack = contents(packs[0].string());
    pack.replace(pack.find("one\n"), 4, "ONE\n");
    put(packs[0].string(), pack);
    EXPECT_TRUE(load_base(store, content_hash(one), bytes)) << "a damaged base is no base";
    EXPECT_TRUE(bytes.empty());
    put(packs[0].string(), pack.substr(0, pack.find("two\n") + 2));
    EXPECT_EQ(load_base(store, content_hash(two), bytes).errnum(), ENOENT);
}

// What a killed run's intent says the page it left came from.
TEST(TreeIntent, TheBaseOfWhatItCovers) {
    Intent merged{"m", Intent::Held::kHash, "h", "t", "b"};
    EXPECT_EQ(merged.base_of("m"), "t");
    EXPECT_EQ(merged.base_of("h"), "b");
    Intent plain{"w", Intent::Held::kHash, "h", {}, {}};
    EXPECT_EQ(plain.base_of("w"), "w") << "written as converted: its own base";
    EXPECT_EQ(plain.base_of("h"), "h");
}

TEST(TreeRecordPath, TheCacheDirectoryKeysTheTarget) {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    std::string saved = xdg ? xdg : "";
    ::setenv("XDG_CACHE_HOME", "/cache", 1);
    std::string a, b;
    ASSERT_FALSE(Record::default_path("/t/one", a));
    ASSERT_FALSE(Record::default_path("/t/two", b));
    EXPECT_TRUE(a.starts_with("/cache/tvconv/records/")) << a;
    EXPECT_TRUE(a.ends_with(".json"));
    EXPECT_NE(a, b);
    const char* home = std::getenv("HOME");
    std::string saved_home = home ? home : "";
    ::setenv("XDG_CACHE_HOME", "relative", 1);
    ::unsetenv("HOME");
    EXPECT_EQ(Record::default_path("/t/one", a).message(),
              "no cache directory (neither XDG_CACHE_HOME nor HOME is set): name one with --state");
    if (home) ::setenv("HOME", saved_home.c_str(), 1);
    if (xdg)
        ::setenv("XDG_CACHE_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CACHE_HOME");
}

}  // namespace
}  // namespace tvconv::tree
