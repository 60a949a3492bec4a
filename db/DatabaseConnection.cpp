#include "db/DatabaseConnection.h"

#include <dlfcn.h>
#include <firebird/Interface.h>

#include <cstdio>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "db/NamedParameters.h"
#include "db/ServerProbe.h"
#include "db/Cp1251.h"

namespace kestrix {

using namespace Firebird;

namespace {

constexpr unsigned kDialect = 3;
constexpr unsigned char kTransactionParameters[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_nowait,
                                                    isc_tpb_read_committed, isc_tpb_rec_version};
// Days from 1858-11-17 (the client library's day zero) to 1899-12-30.
constexpr int kLibraryDayOffset = 15018;

// The client library stays loaded for the life of the process once it has
// been loaded: unloading it while its own threads run is not safe.
IMaster* LoadMaster(const std::string& libraryPath) {
    static std::mutex mutex;
    static std::map<std::string, IMaster*> loaded;
    std::lock_guard lock(mutex);
    if (auto found = loaded.find(libraryPath); found != loaded.end()) return found->second;
    void* library = ::dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw DatabaseError(::dlerror());
    using GetMaster = IMaster* (*)();
    auto get = reinterpret_cast<GetMaster>(::dlsym(library, "fb_get_master_interface"));
    if (!get) {
        ::dlclose(library);
        throw DatabaseError(libraryPath + " is not a Firebird client library");
    }
    return loaded[libraryPath] = get();
}

bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// Runs one call of the client library with a throwing status; its error
// becomes a DatabaseError with the library's own text.
template <class Call>
auto Checked(IMaster* master, Call&& call) {
    ThrowStatusWrapper status(master->getStatus());
    struct Disposer {
        ThrowStatusWrapper& status;
        ~Disposer() { status.dispose(); }
    } disposer{status};
    try {
        return call(&status);
    } catch (const FbException& error) {
        char text[2048];
        master->getUtilInterface()->formatStatus(text, sizeof text, error.getStatus());
        std::string message(text);
        throw DatabaseError(IsUtf8(message) ? message : Cp1251ToUtf8(message));
    }
}

template <class T>
void ReleaseQuietly(T*& object) {
    if (object) object->release();
    object = nullptr;
}

// Ends an object with the call that releases it when it succeeds (rollback,
// detach, free, close); when that call fails, the object is released anyway.
template <class T, class End>
void EndQuietly(IMaster* master, T*& object, End end) {
    if (!object) return;
    try {
        Checked(master, [&](ThrowStatusWrapper* s) { end(object, s); });
        object = nullptr;
    } catch (const DatabaseError&) {
        ReleaseQuietly(object);
    }
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string FormatScaled(std::int64_t value, int scale) {
    const std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    if (scale < 0) {
        const std::size_t places = static_cast<std::size_t>(-scale);
        if (digits.size() <= places) digits = std::string(places - digits.size() + 1, '0') + digits;
        const std::size_t point = digits.size() - places;
        digits = digits.substr(0, point) + '.' + digits.substr(point);
    } else {
        digits.append(static_cast<std::size_t>(scale), '0');
    }
    return value < 0 ? "-" + digits : digits;
}

std::string FormatDate(ISC_DATE date) {
    const CivilDateTime t = DecodeDateTime(static_cast<double>(static_cast<int>(date) - kLibraryDayOffset));
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

std::string FormatTime(ISC_TIME time) {
    const unsigned seconds = time / 10000;
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

}  // namespace

struct DatabaseConnection::Impl {
    IMaster* master = nullptr;
    IAttachment* attachment = nullptr;
    ITransaction* transaction = nullptr;

    ITransaction* activeTransaction() {
        if (!transaction)
            transaction = Checked(master, [&](ThrowStatusWrapper* s) {
                return attachment->startTransaction(s, sizeof kTransactionParameters, kTransactionParameters);
            });
        return transaction;
    }

    ~Impl() {
        EndQuietly(master, transaction, [](ITransaction* t, ThrowStatusWrapper* s) { t->rollback(s); });
        EndQuietly(master, attachment, [](IAttachment* a, ThrowStatusWrapper* s) { a->detach(s); });
    }
};

struct Statement::Impl {
    DatabaseConnection::Impl& connection;
    IStatement* statement = nullptr;
    std::vector<std::string> names;
    std::vector<std::optional<ParameterValue>> values;

    // The input message, rebuilt only when the kinds or text lengths outgrow it.
    IMessageMetadata* inputMetadata = nullptr;
    std::vector<std::pair<std::size_t, unsigned>> inputShape;  // kind, capacity
    std::vector<unsigned char> inputBuffer;

    IMessageMetadata* outputMetadata = nullptr;
    std::vector<unsigned char> outputBuffer;
    IResultSet* cursor = nullptr;

    explicit Impl(DatabaseConnection::Impl& c) : connection(c) {}

    IMaster* master() const { return connection.master; }

    ~Impl() {
        closeCursor();
        ReleaseQuietly(inputMetadata);
        ReleaseQuietly(outputMetadata);
        EndQuietly(master(), statement, [](IStatement* st, ThrowStatusWrapper* s) { st->free(s); });
    }

    void closeCursor() {
        EndQuietly(master(), cursor, [](IResultSet* c, ThrowStatusWrapper* s) { c->close(s); });
    }

    void buildInput() {
        std::vector<std::pair<std::size_t, unsigned>> shape;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!values[i]) throw DatabaseError("Parameter \"" + names[i] + "\" has no value");
            unsigned capacity = 0;
            if (const auto* text = std::get_if<std::string>(&*values[i]))
                capacity = std::max<unsigned>(static_cast<unsigned>(Utf8ToCp1251(*text).size()), 1);
            shape.emplace_back(values[i]->index(), capacity);
        }
        bool fits = inputMetadata && shape.size() == inputShape.size();
        for (std::size_t i = 0; fits && i < shape.size(); ++i)
            fits = shape[i].first == inputShape[i].first && shape[i].second <= inputShape[i].second;
        if (!fits) {
            for (std::size_t i = 0; i < shape.size() && i < inputShape.size(); ++i)
                if (shape[i].first == inputShape[i].first) shape[i].second = std::max(shape[i].second, inputShape[i].second * 2);
            ReleaseQuietly(inputMetadata);
            inputMetadata = Checked(master(), [&](ThrowStatusWrapper* s) {
                IMetadataBuilder* builder = master()->getMetadataBuilder(s, static_cast<unsigned>(shape.size()));
                struct Release {
                    IMetadataBuilder* b;
                    ~Release() { b->release(); }
                } release{builder};
                for (unsigned i = 0; i < shape.size(); ++i) {
                    switch (shape[i].first) {
                        case 0: builder->setType(s, i, SQL_VARYING + 1); builder->setLength(s, i, shape[i].second); break;
                        case 1: builder->setType(s, i, SQL_LONG + 1); builder->setLength(s, i, 4); break;
                        case 2: builder->setType(s, i, SQL_INT64 + 1); builder->setLength(s, i, 8); break;
                        default: builder->setType(s, i, SQL_TIMESTAMP + 1); builder->setLength(s, i, 8); break;
                    }
                    builder->setScale(s, i, 0);
                }
                return builder->getMetadata(s);
            });
            inputShape = shape;
            inputBuffer.assign(Checked(master(), [&](ThrowStatusWrapper* s) { return inputMetadata->getMessageLength(s); }), 0);
        }
        Checked(master(), [&](ThrowStatusWrapper* s) {
            for (unsigned i = 0; i < values.size(); ++i) {
                unsigned char* field = inputBuffer.data() + inputMetadata->getOffset(s, i);
                *reinterpret_cast<short*>(inputBuffer.data() + inputMetadata->getNullOffset(s, i)) = 0;
                std::visit(
                    [&](const auto& value) {
                        using T = std::decay_t<decltype(value)>;
                        if constexpr (std::is_same_v<T, std::string>) {
                            const std::string bytes = Utf8ToCp1251(value);
                            const auto length = static_cast<unsigned short>(bytes.size());
                            std::memcpy(field, &length, sizeof length);
                            std::memcpy(field + sizeof length, bytes.data(), bytes.size());
                        } else if constexpr (std::is_same_v<T, CivilDateTime>) {
                            ISC_TIMESTAMP stamp;
                            stamp.timestamp_date = static_cast<ISC_DATE>(
                                DaysSinceEpoch(value.year, value.month, value.day) + kLibraryDayOffset);
                            stamp.timestamp_time =
                                static_cast<ISC_TIME>((value.hour * 3600 + value.minute * 60 + value.second) * 10000);
                            std::memcpy(field, &stamp, sizeof stamp);
                        } else {
                            std::memcpy(field, &value, sizeof value);
                        }
                    },
                    *values[i]);
            }
        });
    }

    int columnIndex(const std::string& name) const {
        const std::string wanted = Upper(name);
        return Checked(master(), [&](ThrowStatusWrapper* s) {
            const unsigned count = outputMetadata->getCount(s);
            for (unsigned i = 0; i < count; ++i)
                if (Upper(outputMetadata->getAlias(s, i)) == wanted || Upper(outputMetadata->getField(s, i)) == wanted)
                    return static_cast<int>(i);
            return -1;
        });
    }
};

Statement::Statement(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Statement::~Statement() = default;

void Statement::set(const std::string& name, ParameterValue value) {
    const std::string wanted = Upper(name);
    bool found = false;
    for (std::size_t i = 0; i < m_impl->names.size(); ++i) {
        if (m_impl->names[i] != wanted) continue;
        m_impl->values[i] = value;
        found = true;
    }
    if (!found) throw DatabaseError("Parameter \"" + name + "\" not found");
}

void Statement::execute() {
    Impl& s = *m_impl;
    s.buildInput();
    ITransaction* transaction = s.connection.activeTransaction();
    Checked(s.master(), [&](ThrowStatusWrapper* st) {
        s.statement->execute(st, transaction, s.inputMetadata, s.inputBuffer.data(), nullptr, nullptr);
    });
}

void Statement::open() {
    Impl& s = *m_impl;
    s.closeCursor();
    s.buildInput();
    ITransaction* transaction = s.connection.activeTransaction();
    Checked(s.master(), [&](ThrowStatusWrapper* st) {
        if (!s.outputMetadata) {
            s.outputMetadata = s.statement->getOutputMetadata(st);
            s.outputBuffer.assign(s.outputMetadata->getMessageLength(st), 0);
        }
        s.cursor = s.statement->openCursor(st, transaction, s.inputMetadata, s.inputBuffer.data(), s.outputMetadata, 0);
    });
}

bool Statement::next() {
    Impl& s = *m_impl;
    if (!s.cursor) throw DatabaseError("The query is not open");
    return Checked(s.master(), [&](ThrowStatusWrapper* st) {
        return s.cursor->fetchNext(st, s.outputBuffer.data()) == IStatus::RESULT_OK;
    });
}

std::string Statement::column(const std::string& name) const {
    const Impl& s = *m_impl;
    if (!s.cursor) throw DatabaseError("The query is not open");
    const int index = s.columnIndex(name);
    if (index < 0) throw DatabaseError("Field '" + name + "' not found");
    return Checked(s.master(), [&](ThrowStatusWrapper* st) -> std::string {
        IMessageMetadata* meta = s.outputMetadata;
        const unsigned i = static_cast<unsigned>(index);
        const unsigned char* data = s.outputBuffer.data() + meta->getOffset(st, i);
        if (meta->isNullable(st, i) && *reinterpret_cast<const short*>(s.outputBuffer.data() + meta->getNullOffset(st, i)))
            return {};
        const int scale = meta->getScale(st, i);
        switch (meta->getType(st, i) & ~1u) {
            case SQL_TEXT: {
                std::string text(reinterpret_cast<const char*>(data), meta->getLength(st, i));
                text.erase(text.find_last_not_of(' ') + 1);
                return Cp1251ToUtf8(text);
            }
            case SQL_VARYING: {
                unsigned short length;
                std::memcpy(&length, data, sizeof length);
                return Cp1251ToUtf8(std::string(reinterpret_cast<const char*>(data) + sizeof length, length));
            }
            case SQL_SHORT: { std::int16_t v; std::memcpy(&v, data, sizeof v); return FormatScaled(v, scale); }
            case SQL_LONG: { std::int32_t v; std::memcpy(&v, data, sizeof v); return FormatScaled(v, scale); }
            case SQL_INT64: { std::int64_t v; std::memcpy(&v, data, sizeof v); return FormatScaled(v, scale); }
            case SQL_DOUBLE: { double v; std::memcpy(&v, data, sizeof v); char t[32]; std::snprintf(t, sizeof t, "%.15g", v); return t; }
            case SQL_FLOAT: { float v; std::memcpy(&v, data, sizeof v); char t[32]; std::snprintf(t, sizeof t, "%.7g", v); return t; }
            case SQL_BOOLEAN: return *data ? "True" : "False";
            case SQL_TYPE_DATE: { ISC_DATE v; std::memcpy(&v, data, sizeof v); return FormatDate(v); }
            case SQL_TYPE_TIME: { ISC_TIME v; std::memcpy(&v, data, sizeof v); return FormatTime(v); }
            case SQL_TIMESTAMP: {
                ISC_TIMESTAMP v;
                std::memcpy(&v, data, sizeof v);
                return FormatDate(v.timestamp_date) + " " + FormatTime(v.timestamp_time);
            }
            default: throw DatabaseError("Field '" + name + "' cannot be read as text");
        }
    });
}

void Statement::close() {
    m_impl->closeCursor();
}

DatabaseConnection::DatabaseConnection(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
DatabaseConnection::~DatabaseConnection() = default;

namespace {
// A server that does not answer, or a host that is down, must not hold the
// start for the client's default of minutes.
constexpr int kConnectTimeoutSeconds = 10;
}  // namespace

std::unique_ptr<DatabaseConnection> DatabaseConnection::Connect(const std::string& libraryPath,
                                                                const std::string& database, const std::string& user,
                                                                const std::string& password) {
    auto impl = std::make_unique<Impl>();
    impl->master = LoadMaster(libraryPath);
    // The library bounds the wait for an answer, not the TCP connect itself.
    if (const auto server = ServerOf(database);
        server && !ServerTakesConnections(*server, std::chrono::seconds(kConnectTimeoutSeconds)))
        throw DatabaseError("Unable to complete network request to host \"" + server->host + "\": no answer within " +
                            std::to_string(kConnectTimeoutSeconds) + " s");
    IMaster* master = impl->master;
    impl->attachment = Checked(master, [&](ThrowStatusWrapper* s) {
        IXpbBuilder* dpb = master->getUtilInterface()->getXpbBuilder(s, IXpbBuilder::DPB, nullptr, 0);
        struct Dispose {
            IXpbBuilder* b;
            ~Dispose() { b->dispose(); }
        } dispose{dpb};
        dpb->insertString(s, isc_dpb_user_name, Utf8ToCp1251(user).c_str());
        dpb->insertString(s, isc_dpb_password, Utf8ToCp1251(password).c_str());
        dpb->insertString(s, isc_dpb_lc_ctype, "WIN1251");
        dpb->insertInt(s, isc_dpb_connect_timeout, kConnectTimeoutSeconds);
        IProvider* provider = master->getDispatcher();
        struct Release {
            IProvider* p;
            ~Release() { p->release(); }
        } release{provider};
        return provider->attachDatabase(s, database.c_str(), dpb->getBufferLength(s), dpb->getBuffer(s));
    });
    return std::unique_ptr<DatabaseConnection>(new DatabaseConnection(std::move(impl)));
}

std::unique_ptr<Statement> DatabaseConnection::prepare(const std::string& sql) {
    const PositionalStatement positional = TranslateNamedParameters(sql);
    auto impl = std::make_unique<Statement::Impl>(*m_impl);
    ITransaction* transaction = m_impl->activeTransaction();
    impl->statement = Checked(m_impl->master, [&](ThrowStatusWrapper* s) {
        return m_impl->attachment->prepare(s, transaction, 0, Utf8ToCp1251(positional.sql).c_str(), kDialect,
                                           IStatement::PREPARE_PREFETCH_METADATA);
    });
    impl->names = positional.names;
    impl->values.resize(positional.names.size());
    return std::unique_ptr<Statement>(new Statement(std::move(impl)));
}

void DatabaseConnection::commit() {
    if (!m_impl->transaction) return;
    Checked(m_impl->master, [&](ThrowStatusWrapper* s) { m_impl->transaction->commit(s); });
    m_impl->transaction = nullptr;  // a successful commit releases the object
}

bool DatabaseConnection::transactionActive() const {
    return m_impl->transaction != nullptr;
}

}  // namespace kestrix
