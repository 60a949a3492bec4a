// Load benchmarks on real databases created from db/schema.sql:
//  1. a full list of valid events into an empty database (embedded engine), then
//     the same list again (all duplicates), against a minimal loop that runs the
//     same three statements per event straight on the Firebird API;
//  2. 1,000 events into a database on the Firebird server over localhost:, by
//     one loader, then by two loaders of different controllers at once;
//  3. the full load into a database that already holds a million other events.
// Usage: load_bench [events (default 196608)] [other events for step 3 (default 1000000)]

#include <dlfcn.h>
#include <firebird/Interface.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "db/EventLoader.h"
#include "tests/support/FirebirdServer.h"
#include "events/EventRecords.h"

using namespace kestrix;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

namespace {

const std::string kSchema = std::string(KESTRIX_SOURCE_DIR) + "/db/schema.sql";
const std::string kController = "0011223344AA";
const std::string kOtherController = "AABBCC000001";

double Since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Isql(const std::string& script) {
    const std::string file = fs::temp_directory_path() / ("kx-bench-" + std::to_string(::getpid()) + ".sql");
    std::ofstream(file) << script;
    const std::string command = "isql-fb -q -b -i " + file;
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "isql-fb failed\n");
        std::exit(1);
    }
    fs::remove(file);
}

std::vector<std::string> Cards() {
    std::vector<std::string> cards;
    std::mt19937 rng(3);
    while (cards.size() < 150) cards.push_back(FixedHex(rng() % 250 + 1, 2) + FixedHex(rng() % 65535 + 1, 4));
    return cards;
}

std::string CreateDatabase(const fs::path& dir, const std::string& extra = "") {
    fs::create_directories(dir);
    const std::string db = (dir / "CBASE.FDB").string();
    std::ifstream in(kSchema);
    std::string script = "CREATE DATABASE '" + db + "' USER 'SYSDBA' PASSWORD 'fbdefault' DEFAULT CHARACTER SET WIN1251;\n" +
                         std::string(std::istreambuf_iterator<char>(in), {}) + "\n";
    int holder = 1;
    for (const std::string& card : Cards())
        for (int year = 2020; year <= 2024; ++year)
            script += "INSERT INTO fb_key_h VALUES ('" + *KeyNumberText("000000" + card) + "', '" +
                      std::to_string(year) + "-01-01 00:00:00', " + std::to_string(holder++) + ");\n";
    for (const std::string& controller : {kController, kOtherController})
        script += "INSERT INTO fb_dvs VALUES ('" + controller + "', NULL);\n";
    Isql(script + extra + "COMMIT;\n");
    return db;
}

// Distinct valid events over 2024, one a minute from New Year on.
std::vector<HexText> Events(int count) {
    const auto cards = Cards();
    std::vector<HexText> events;
    const std::int64_t start = DaysSinceEpoch(2024, 1, 1) * 1440;
    for (int i = 0; i < count; ++i) {
        const CivilDateTime t = DecodeDateTime(static_cast<double>(start + i) / 1440.0);
        events.push_back(FixedHex(static_cast<unsigned>(t.year - 2000), 2) + FixedHex(static_cast<unsigned>(t.month), 2) +
                         FixedHex(static_cast<unsigned>(t.day), 2) + FixedHex(static_cast<unsigned>(t.hour), 2) +
                         FixedHex(static_cast<unsigned>(t.minute), 2) + "00" + "000000" +
                         cards[static_cast<std::size_t>(i) % cards.size()] + "0111" + "0000");
    }
    return events;
}

struct Rate {
    double seconds;
    int loaded, duplicates;
};

// Each event as Kestrix loads it: its transaction waits for the controller's
// row, then the duplicate test, the holder lookup, the insert and the commit.
Rate LoadWithKestrix(const std::string& database, const std::vector<HexText>& events,
                     const std::string& password = "fbdefault", const std::string& controller = kController) {
    auto connection = DatabaseConnection::Connect(kestrix::test::kClientLibrary, database, "SYSDBA", password);
    EventStore store(*connection);
    const auto t0 = Clock::now();
    const LoadCounts counts = LoadEvents(store, events, controller, EncodeDateTime({2011, 1, 1, 0, 0, 0}),
                                         EncodeDateTime({2029, 12, 31, 0, 0, 0}), {});
    return {Since(t0), counts.loaded, counts.duplicates};
}

// Messages as the statements describe them (the columns' own types).
struct Message {
    Firebird::IMessageMetadata* meta;
    std::vector<unsigned char> data;
    Firebird::ThrowStatusWrapper* st;
    Message(Firebird::IMessageMetadata* m, Firebird::ThrowStatusWrapper* s) : meta(m), data(m->getMessageLength(s)), st(s) {}
    unsigned char* at(unsigned i) {
        *reinterpret_cast<short*>(&data[meta->getNullOffset(st, i)]) = 0;
        return &data[meta->getOffset(st, i)];
    }
    void text(unsigned i, const std::string& v) {
        unsigned char* p = at(i);
        const auto n = static_cast<unsigned short>(v.size());
        std::memcpy(p, &n, 2);
        std::memcpy(p + 2, v.data(), v.size());
    }
    template <class T>
    void value(unsigned i, T v) { std::memcpy(at(i), &v, sizeof v); }
};

// The same three statements per event with a commit per insert, straight on
// the Firebird API with fixed messages.
double MinimalLoop(const std::string& database, const std::vector<HexText>& events) {
    using namespace Firebird;
    void* library = ::dlopen(kestrix::test::kClientLibrary.c_str(), RTLD_NOW);
    auto master = reinterpret_cast<IMaster* (*)()>(::dlsym(library, "fb_get_master_interface"))();
    ThrowStatusWrapper st(master->getStatus());
    IUtil* util = master->getUtilInterface();
    IXpbBuilder* dpb = util->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(&st, isc_dpb_user_name, "SYSDBA");
    dpb->insertString(&st, isc_dpb_password, "fbdefault");
    dpb->insertString(&st, isc_dpb_lc_ctype, "WIN1251");
    IProvider* provider = master->getDispatcher();
    IAttachment* att = provider->attachDatabase(&st, database.c_str(), dpb->getBufferLength(&st), dpb->getBuffer(&st));
    const unsigned char tpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_nowait, isc_tpb_read_committed, isc_tpb_rec_version};
    ITransaction* tra = att->startTransaction(&st, sizeof tpb, tpb);
    IStatement* exists = att->prepare(&st, tra, 0, "SELECT * FROM fb_evn WHERE dvs=? AND uid=? AND dt=? AND evn=? AND evnh=?", 3, 0);
    IStatement* holder = att->prepare(&st, tra, 0, "SELECT usr FROM fb_key_h WHERE uid=? AND att<? ORDER by att DESC", 3, 0);
    IStatement* insert = att->prepare(&st, tra, 0, "INSERT INTO fb_evn (dt,dvs,evn,evnh,uid,idh,usr) VALUES (?,?,?,?,?,?,?)", 3, 0);

    Message existsIn(exists->getInputMetadata(&st), &st);
    Message holderIn(holder->getInputMetadata(&st), &st);
    Message insertIn(insert->getInputMetadata(&st), &st);
    IMessageMetadata* existsOut = exists->getOutputMetadata(&st);
    IMessageMetadata* holderOut = holder->getOutputMetadata(&st);
    std::vector<unsigned char> existsBuffer(existsOut->getMessageLength(&st));
    std::vector<unsigned char> holderBuffer(holderOut->getMessageLength(&st));

    const auto t0 = Clock::now();
    for (const HexText& record : events) {
        const EventFields f = ReadEventFields(record);
        ISC_TIMESTAMP stamp;
        stamp.timestamp_date = static_cast<ISC_DATE>(DaysSinceEpoch(f.time.year, f.time.month, f.time.day) + 15018);
        stamp.timestamp_time = static_cast<ISC_TIME>((f.time.hour * 3600 + f.time.minute * 60 + f.time.second) * 10000);
        existsIn.text(0, "0011223344AA");
        existsIn.text(1, f.cardCode);
        existsIn.value(2, stamp);
        existsIn.value(3, f.evn);
        existsIn.value(4, f.evnh);
        if (!tra) tra = att->startTransaction(&st, sizeof tpb, tpb);
        IResultSet* rs = exists->openCursor(&st, tra, existsIn.meta, existsIn.data.data(), existsOut, 0);
        const bool duplicate = rs->fetchNext(&st, existsBuffer.data()) == IStatus::RESULT_OK;
        rs->close(&st);
        if (duplicate) continue;
        holderIn.text(0, *KeyNumberText(f.cardCode));
        holderIn.value(1, stamp);
        rs = holder->openCursor(&st, tra, holderIn.meta, holderIn.data.data(), holderOut, 0);
        std::int32_t usr = 0;
        if (rs->fetchNext(&st, holderBuffer.data()) == IStatus::RESULT_OK)
            std::memcpy(&usr, &holderBuffer[holderOut->getOffset(&st, 0)], sizeof usr);
        rs->close(&st);
        insertIn.value(0, stamp);
        insertIn.text(1, "0011223344AA");
        insertIn.value(2, f.evn);
        insertIn.value(3, f.evnh);
        insertIn.text(4, f.cardCode);
        insertIn.value(5, std::int64_t{0});
        insertIn.value(6, std::int64_t{usr});
        insert->execute(&st, tra, insertIn.meta, insertIn.data.data(), nullptr, nullptr);
        tra->commit(&st);
        tra = nullptr;
    }
    const double seconds = Since(t0);
    if (tra) tra->commit(&st);
    existsOut->release();
    holderOut->release();
    existsIn.meta->release();
    holderIn.meta->release();
    insertIn.meta->release();
    exists->free(&st);
    holder->free(&st);
    insert->free(&st);
    att->detach(&st);
    provider->release();
    dpb->dispose();
    st.dispose();
    return seconds;
}

}  // namespace

int main(int argc, char* argv[]) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 196608;
    const int others = argc > 2 ? std::atoi(argv[2]) : 1000000;
    const fs::path root = fs::temp_directory_path() / ("kx-load-bench-" + std::to_string(::getpid()));
    const std::vector<HexText> events = Events(count);

    const std::string ours = CreateDatabase(root / "ours");
    const Rate first = LoadWithKestrix(ours, events);
    const Rate second = LoadWithKestrix(ours, events);
    const std::string minimalDb = CreateDatabase(root / "minimal");
    const double minimal = MinimalLoop(minimalDb, events);
    std::printf("embedded engine, %d events, ~150 cards with key history\n", count);
    std::printf("  Kestrix, empty database:   %8.0f events/s (%.1f s, %d loaded)\n", count / first.seconds, first.seconds, first.loaded);
    std::printf("  Kestrix, all duplicates:   %8.0f events/s (%.1f s, %d duplicates)\n", count / second.seconds, second.seconds, second.duplicates);
    std::printf("  minimal API loop:          %8.0f events/s (%.1f s)\n", count / minimal, minimal);
    std::printf("  throughput Kestrix/minimal loop: %.2f (goal: at least 0.9)\n", minimal / first.seconds);

    const std::string password = kestrix::test::FirebirdServerPassword();
    if ((::access("/etc/firebird/3.0/SYSDBA.password", R_OK) == 0) && !password.empty()) {
        const fs::path serverDir = root / "server";
        const std::string serverDb = CreateDatabase(serverDir);
        fs::permissions(root, fs::perms::all);
        fs::permissions(serverDir, fs::perms::all);
        fs::permissions(serverDb, fs::perms::all);
        const std::vector<HexText> thousand(events.begin(), events.begin() + std::min(1000, count));
        try {
            const Rate one = LoadWithKestrix("localhost:" + serverDb, thousand, password);
            std::printf("server over localhost:, %zu events, one loader: %.2f s (%.0f events/s)\n", thousand.size(),
                        one.seconds, thousand.size() / one.seconds);
            // Two loaders of different controllers at once, as two workstations would load.
            const std::string twoDb = "localhost:" + CreateDatabase(serverDir / "two");
            fs::permissions(serverDir / "two", fs::perms::all);
            fs::permissions(serverDir / "two" / "CBASE.FDB", fs::perms::all);
            Rate other{};
            const auto t0 = Clock::now();
            std::thread second([&] { other = LoadWithKestrix(twoDb, thousand, password, kOtherController); });
            const Rate first = LoadWithKestrix(twoDb, thousand, password, kController);
            second.join();
            const double together = Since(t0);
            std::printf("  two loaders of two controllers at once: %.2f s for %zu events (%.0f events/s together; "
                        "%d + %d loaded); together/one: %.2f (goal: at least 1)\n",
                        together, 2 * thousand.size(), 2 * thousand.size() / together, first.loaded, other.loaded,
                        (2 * thousand.size() / together) / (thousand.size() / one.seconds));
        } catch (const std::exception& e) {
            std::printf("server over localhost: not measured (%s)\n", e.what());
        }
    }

    const std::string big = CreateDatabase(
        root / "big", "SET TERM ^;\nEXECUTE BLOCK AS DECLARE i INTEGER = 0; BEGIN\n"
                      "  WHILE (i < " + std::to_string(others) + ") DO BEGIN\n"
                      "    INSERT INTO fb_evn (dt, dvs, uid, evn, evnh, idh, usr) VALUES "
                      "(DATEADD(:i SECOND TO TIMESTAMP '2023-01-01 00:00:00'), 'FFEEDDCCBBAA', '0000000A1B2C', 1, 1, 0, 0);\n"
                      "    i = i + 1; END\nEND^\nSET TERM ;^\n");
    const Rate crowded = LoadWithKestrix(big, events);
    std::printf("into a database holding %d other events: %8.0f events/s (%.1f s; empty database: %.1f s)\n", others,
                count / crowded.seconds, crowded.seconds, first.seconds);
    fs::remove_all(root);
    return 0;
}
