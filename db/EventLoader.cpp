#include "db/EventLoader.h"

#include <charconv>
#include <stdexcept>

#include "events/EventRecords.h"

namespace kestrix {

EventFields ReadEventFields(std::string_view record) {
    EventFields fields;
    fields.time = RecordTime(record);
    fields.cardCode = "000000" + std::string(record.size() > 18 ? record.substr(18, 6) : std::string_view());
    fields.evnh = RecordByte(record, 12);
    fields.evn = RecordByte(record, 13);
    return fields;
}

std::optional<std::string> KeyNumberText(const std::string& cardCode) {
    if (cardCode.size() != 12) return std::nullopt;
    std::string first = std::to_string(HexToInt(cardCode.substr(6, 2)));
    std::string second = std::to_string(HexToInt(cardCode.substr(8, 4)));
    if (first.size() < 3) first.insert(0, 3 - first.size(), '0');
    if (second.size() < 5) second.insert(0, 5 - second.size(), '0');
    return first + "-" + second;
}

std::int64_t HolderNumber(const std::string& holderText) {
    if (holderText.empty()) return 0;
    std::int64_t value = 0;
    const char* begin = holderText.data();
    const char* end = begin + holderText.size();
    if (*begin == '+' && holderText.size() > 1 && begin[1] != '-') ++begin;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end)
        throw std::runtime_error("'" + holderText + "' is not a valid integer value");
    return value;
}

bool InsideInterval(DateTimeValue eventTime, DateTimeValue startDate, DateTimeValue endDate) {
    return startDate <= eventTime && eventTime < endDate + 1.0;
}

EventStore::EventStore(DatabaseConnection& connection)
    : m_connection(connection),
      m_lockController(connection.prepareInOwnTransaction(kLockControllerSql, kControllerLockTimeout)),
      m_lockAnyController(connection.prepareInOwnTransaction(kLockAnyControllerSql, kControllerLockTimeout)),
      m_exists(connection.prepare(kEventExistsSql)),
      m_holder(connection.prepare(kKeyHolderSql)),
      m_insert(connection.prepare(kInsertEventSql)) {}

void EventStore::TakeTurn(const std::string& controllerId) {
    if (m_turnOf == controllerId && m_eventsThisTurn < kEventsPerTurn) {
        ++m_eventsThisTurn;
        return;
    }
    EndTurn();
    m_lockController->set("dvs", controllerId);
    m_lockController->open();
    const bool listed = m_lockController->next();  // the row is locked as it is fetched
    m_lockController->close();
    if (!listed) {
        m_lockAnyController->open();
        m_lockAnyController->next();
        m_lockAnyController->close();
    }
    m_turnOf = controllerId;
    m_eventsThisTurn = 1;
}

void EventStore::EndTurn() {
    m_turnOf.clear();
    m_lockController->commitOwn();
    m_lockAnyController->commitOwn();
}

bool EventStore::EventExists(const std::string& controllerId, const std::string& cardCode, const CivilDateTime& time,
                             std::int32_t evn, std::int32_t evnh) {
    m_exists->set("dvs", controllerId);
    m_exists->set("uid", cardCode);
    m_exists->set("dt", time);
    m_exists->set("evn", evn);
    m_exists->set("evnh", evnh);
    m_exists->open();
    const bool found = m_exists->next();
    m_exists->close();
    return found;
}

std::string EventStore::KeyHolderAt(const std::string& cardCode, const CivilDateTime& time) {
    const auto keyNumber = KeyNumberText(cardCode);
    // A card code of fewer than 12 characters names no key: nobody to look up.
    if (cardCode == kNoCard || !keyNumber) return "0";
    m_holder->set("st", *keyNumber);
    m_holder->set("chd", time);
    m_holder->open();
    const std::string holder = m_holder->next() ? m_holder->column("usr") : "0";
    m_holder->close();
    return holder;
}

void EventStore::InsertEvent(const CivilDateTime& time, const std::string& controllerId, std::int32_t evn,
                             std::int32_t evnh, const std::string& cardCode, std::int64_t holder) {
    m_insert->set("dt", time);
    m_insert->set("dvs", controllerId);
    m_insert->set("evn", evn);
    m_insert->set("evnh", evnh);
    m_insert->set("uid", cardCode);
    m_insert->set("idh", std::int64_t{0});
    m_insert->set("usr", holder);
    m_insert->execute();
    m_connection.commit();
}

LoadCounts LoadEvents(EventStore& store, const std::vector<HexText>& events, const std::string& controllerId,
                      DateTimeValue startDate, DateTimeValue endDate, const LoadProgress& report) {
    struct TurnEnd {
        EventStore& store;
        ~TurnEnd() {
            try {
                store.EndTurn();
            } catch (const DatabaseError&) {
                // The connection is gone: its transactions, and the turn, went with it.
            }
        }
    } turnEnd{store};
    LoadCounts counts;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const EventFields event = ReadEventFields(events[i]);
        if (InsideInterval(EncodeDateTime(event.time), startDate, endDate)) {
            store.TakeTurn(controllerId);
            if (store.EventExists(controllerId, event.cardCode, event.time, event.evn, event.evnh)) {
                ++counts.duplicates;
                if (report.duplicate) report.duplicate(counts.duplicates);
            } else {
                const std::int64_t holder = HolderNumber(store.KeyHolderAt(event.cardCode, event.time));
                store.InsertEvent(event.time, controllerId, event.evn, event.evnh, event.cardCode, holder);
                ++counts.loaded;
            }
        }
        if (report.loaded) report.loaded(counts.loaded);
        if (report.progress) report.progress(i + 1);
    }
    return counts;
}

}  // namespace kestrix
