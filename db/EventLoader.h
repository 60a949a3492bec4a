#pragma once
// Loading downloaded events into fb_evn: every event of the date interval is
// tested for a duplicate, given the card holder of its time from the key
// history, inserted and committed on its own.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/DatabaseConnection.h"
#include "events/DateTime.h"
#include "link/HexCodec.h"

namespace kestrix {

inline const std::string kEventExistsSql =
    "SELECT * FROM fb_evn WHERE dvs=:dvs AND uid=:uid AND dt=:dt AND evn=:evn AND evnh=:evnh";
inline const std::string kKeyHolderSql = "SELECT usr FROM fb_key_h WHERE uid=:st AND att<:chd ORDER by att DESC";
inline const std::string kInsertEventSql =
    "INSERT INTO fb_evn (dt,dvs,evn,evnh,uid,idh,usr) VALUES (:dt,:dvs,:evn,:evnh,:uid,:idh,:usr)";

// Loaders of one controller take turns. A turn is the controller's row of
// fb_dvs (the first row for an id that fb_dvs does not list), locked in a
// transaction of its own; the events of a turn are tested, inserted and
// committed one by one while it is held, so the next loader's duplicate test
// sees every one of them. A turn covers a run of events, so that the lock (a
// write) does not cost every event a page more to commit.
inline const std::string kLockControllerSql = "SELECT id FROM fb_dvs WHERE id=:dvs WITH LOCK";
inline const std::string kLockAnyControllerSql = "SELECT FIRST 1 id FROM fb_dvs ORDER BY id WITH LOCK";
// How long a loader waits for its turn, and how many events a turn covers.
constexpr std::chrono::seconds kControllerLockTimeout{60};
constexpr int kEventsPerTurn = 64;

inline const std::string kNoCard = "000000000000";

// What the loader takes from a record.
struct EventFields {
    CivilDateTime time;
    std::string cardCode;  // "000000" and record digits 19-24 (fewer for a short record)
    std::int32_t evnh = 0;
    std::int32_t evn = 0;
};
EventFields ReadEventFields(std::string_view record);

// "010-06956" for the card code 0000000A1B2C; nothing unless 12 characters.
std::optional<std::string> KeyNumberText(const std::string& cardCode);

// The holder text read as a signed 64-bit integer, 0 for empty text. Throws
// std::runtime_error "'<text>' is not a valid integer value".
std::int64_t HolderNumber(const std::string& holderText);

// Inside the interval: on or after the start date and before the end of the
// end date's day (the whole end day counts).
bool InsideInterval(DateTimeValue eventTime, DateTimeValue startDate, DateTimeValue endDate);

// The statements, prepared once on a connection and run per event.
class EventStore {
public:
    explicit EventStore(DatabaseConnection& connection);

    // Waits, where needed, for the controller's turn before the duplicate test
    // of an event.
    void TakeTurn(const std::string& controllerId);
    // Lets the other loaders of the controller go on (a no-op without a turn).
    void EndTurn();
    bool EventExists(const std::string& controllerId, const std::string& cardCode, const CivilDateTime& time,
                     std::int32_t evn, std::int32_t evnh);
    // "0" for the card code 000000000000 or without an earlier assignment;
    // otherwise the holder of the latest assignment before the time (empty for NULL).
    std::string KeyHolderAt(const std::string& cardCode, const CivilDateTime& time);
    // Inserts one row and commits it.
    void InsertEvent(const CivilDateTime& time, const std::string& controllerId, std::int32_t evn,
                     std::int32_t evnh, const std::string& cardCode, std::int64_t holder);

private:
    DatabaseConnection& m_connection;
    std::unique_ptr<Statement> m_lockController;
    std::unique_ptr<Statement> m_lockAnyController;
    std::string m_turnOf;  // the controller whose turn is held; empty: none
    int m_eventsThisTurn = 0;
    std::unique_ptr<Statement> m_exists;
    std::unique_ptr<Statement> m_holder;
    std::unique_ptr<Statement> m_insert;
};

struct LoadProgress {
    std::function<void(int loaded)> loaded;          // after every record
    std::function<void(int duplicates)> duplicate;   // after every duplicate
    std::function<void(std::size_t done)> progress;  // records examined so far
};

struct LoadCounts {
    int loaded = 0;
    int duplicates = 0;
};

// Walks the events in order. Nothing is caught: an error ends the load at the
// record that caused it, after the rows inserted before it were committed.
// The controller's turn ends with the load, however it ends.
LoadCounts LoadEvents(EventStore& store, const std::vector<HexText>& events, const std::string& controllerId,
                      DateTimeValue startDate, DateTimeValue endDate, const LoadProgress& report);

}  // namespace kestrix
