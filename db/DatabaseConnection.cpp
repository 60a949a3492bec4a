#include "db/DatabaseConnection.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "db/ColumnText.h"
#include "db/Cp1251.h"
#include "db/FirebirdObjects.h"
#include "db/NamedParameters.h"
#include "db/ServerProbe.h"

namespace kestrix {

using namespace Firebird;
using namespace kestrix::firebird;

namespace {

constexpr unsigned kDialect = 3;
constexpr unsigned char kTransactionParameters[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_nowait,
                                                    isc_tpb_read_committed, isc_tpb_rec_version};
// The same, but waiting up to lockTimeout for a row that another transaction holds.
std::vector<unsigned char> WaitingTransactionParameters(std::chrono::seconds lockTimeout) {
    const auto seconds = static_cast<std::uint32_t>(lockTimeout.count());
    return {isc_tpb_version3, isc_tpb_write,  isc_tpb_wait, isc_tpb_read_committed, isc_tpb_rec_version,
            isc_tpb_lock_timeout, 4, static_cast<unsigned char>(seconds), static_cast<unsigned char>(seconds >> 8),
            static_cast<unsigned char>(seconds >> 16), static_cast<unsigned char>(seconds >> 24)};
}

// A server that does not answer, or a host that is down, must not hold the
// start for the client's default of minutes.
constexpr int kConnectTimeoutSeconds = 10;

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

// The type of an input parameter, from the alternative its value holds.
struct ParameterType {
    unsigned sqlType;
    unsigned length;  // for text, the room of the longest value it has held
    bool operator==(const ParameterType&) const = default;
};

ParameterType TypeOf(const ParameterValue& value) {
    return std::visit(
        [](const auto& v) -> ParameterType {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>)
                return {SQL_VARYING, std::max<unsigned>(static_cast<unsigned>(Utf8ToCp1251(v).size()), 1)};
            else if constexpr (std::is_same_v<T, std::int32_t>)
                return {SQL_LONG, 4};
            else if constexpr (std::is_same_v<T, std::int64_t>)
                return {SQL_INT64, 8};
            else
                return {SQL_TIMESTAMP, 8};
        },
        value);
}

void WriteValue(unsigned char* field, const ParameterValue& value) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string>) {
                const std::string bytes = Utf8ToCp1251(v);
                const auto length = static_cast<unsigned short>(bytes.size());
                std::memcpy(field, &length, sizeof length);
                std::memcpy(field + sizeof length, bytes.data(), bytes.size());
            } else if constexpr (std::is_same_v<T, CivilDateTime>) {
                ISC_TIMESTAMP stamp;
                stamp.timestamp_date = static_cast<ISC_DATE>(DaysSinceEpoch(v.year, v.month, v.day) + kLibraryDayOffset);
                stamp.timestamp_time = static_cast<ISC_TIME>((v.hour * 3600 + v.minute * 60 + v.second) * 10000);
                std::memcpy(field, &stamp, sizeof stamp);
            } else {
                std::memcpy(field, &v, sizeof v);
            }
        },
        value);
}

}  // namespace

bool DatabaseError::heldByAnotherEngine() const {
    return std::find(codes.begin(), codes.end(), isc_already_opened) != codes.end();
}

namespace firebird {
std::vector<long> ErrorCodes(IStatus* status) {
    std::vector<long> codes;
    for (const ISC_STATUS* item = status->getErrors(); *item != isc_arg_end;) {
        const ISC_STATUS kind = *item++;
        if (kind == isc_arg_gds) codes.push_back(static_cast<long>(*item));
        item += kind == isc_arg_cstring ? 2 : 1;  // a counted string has its length and its text
    }
    return codes;
}

std::string StatusText(IMaster* master, IStatus* status) {
    char text[2048];
    master->getUtilInterface()->formatStatus(text, sizeof text, status);
    const std::string message(text);
    return IsUtf8(message) ? message : Cp1251ToUtf8(message);
}
}  // namespace firebird

struct DatabaseConnection::Impl {
    IMaster* master = nullptr;
    AttachmentHolder attachment;
    TransactionHolder transaction;  // declared last: it ends before the attachment

    ITransaction* activeTransaction() {
        if (!transaction) start(transaction, kTransactionParameters, sizeof kTransactionParameters);
        return transaction.get();
    }

    void start(TransactionHolder& holder, const unsigned char* parameters, unsigned length) {
        holder = TransactionHolder(master, Checked(master, [&](ThrowStatusWrapper* s) {
            return attachment->startTransaction(s, length, parameters);
        }));
    }

    void commit(TransactionHolder& holder) {
        if (!holder) return;
        Checked(master, [&](ThrowStatusWrapper* s) { holder->commit(s); });
        holder.forget();  // a successful commit releases the object
    }
};

struct Statement::Impl {
    DatabaseConnection::Impl& connection;
    // A statement with a transaction of its own: its parameters, and the
    // transaction while it is active (rolled back after the statement is freed).
    std::vector<unsigned char> ownTransactionParameters;
    TransactionHolder ownTransaction;
    StatementHolder statement;
    std::vector<std::string> names;
    std::vector<std::optional<ParameterValue>> values;

    // The input message, rebuilt only when the types or text lengths outgrow it.
    Released<IMessageMetadata> inputMetadata;
    std::vector<ParameterType> inputShape;
    std::vector<unsigned char> inputBuffer;

    Released<IMessageMetadata> outputMetadata;
    std::vector<unsigned char> outputBuffer;
    CursorHolder cursor;  // declared last: closed before the rest goes

    explicit Impl(DatabaseConnection::Impl& c) : connection(c) {}

    IMaster* master() const { return connection.master; }
    void closeCursor() { cursor.reset(); }

    ITransaction* transaction() {
        if (ownTransactionParameters.empty()) return connection.activeTransaction();
        if (!ownTransaction)
            connection.start(ownTransaction, ownTransactionParameters.data(),
                             static_cast<unsigned>(ownTransactionParameters.size()));
        return ownTransaction.get();
    }

    void buildInput() {
        const std::vector<ParameterType> shape = inputShapeOfValues();
        if (!inputFits(shape)) rebuildInputMetadata(shape);
        writeInputValues();
    }

    // The types the values need now; every one must have a value.
    std::vector<ParameterType> inputShapeOfValues() const {
        std::vector<ParameterType> shape;
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!values[i]) throw DatabaseError("Parameter \"" + names[i] + "\" has no value");
            shape.push_back(TypeOf(*values[i]));
        }
        return shape;
    }

    bool inputFits(const std::vector<ParameterType>& shape) const {
        if (!inputMetadata || shape.size() != inputShape.size()) return false;
        for (std::size_t i = 0; i < shape.size(); ++i)
            if (shape[i].sqlType != inputShape[i].sqlType || shape[i].length > inputShape[i].length) return false;
        return true;
    }

    // Text grows to twice the room it had, so that a run of growing values
    // does not rebuild the message every time.
    void rebuildInputMetadata(std::vector<ParameterType> shape) {
        for (std::size_t i = 0; i < shape.size() && i < inputShape.size(); ++i)
            if (shape[i].sqlType == inputShape[i].sqlType)
                shape[i].length = std::max(shape[i].length, inputShape[i].length * 2);
        inputMetadata.reset();
        inputMetadata = Released<IMessageMetadata>(master(), Checked(master(), [&](ThrowStatusWrapper* s) {
            Released<IMetadataBuilder> builder(master(),
                                               master()->getMetadataBuilder(s, static_cast<unsigned>(shape.size())));
            for (unsigned i = 0; i < shape.size(); ++i) {
                builder->setType(s, i, shape[i].sqlType + 1);  // + 1: nullable
                builder->setLength(s, i, shape[i].length);
                builder->setScale(s, i, 0);
            }
            return builder->getMetadata(s);
        }));
        inputShape = std::move(shape);
        inputBuffer.assign(Checked(master(), [&](ThrowStatusWrapper* s) { return inputMetadata->getMessageLength(s); }), 0);
    }

    void writeInputValues() {
        Checked(master(), [&](ThrowStatusWrapper* s) {
            for (unsigned i = 0; i < values.size(); ++i) {
                *reinterpret_cast<short*>(inputBuffer.data() + inputMetadata->getNullOffset(s, i)) = 0;
                WriteValue(inputBuffer.data() + inputMetadata->getOffset(s, i), *values[i]);
            }
        });
    }

    int columnIndex(const std::string& name) const {
        const std::string wanted = AsciiUpper(name);
        return Checked(master(), [&](ThrowStatusWrapper* s) {
            const unsigned count = outputMetadata->getCount(s);
            for (unsigned i = 0; i < count; ++i)
                if (AsciiUpper(outputMetadata->getAlias(s, i)) == wanted || AsciiUpper(outputMetadata->getField(s, i)) == wanted)
                    return static_cast<int>(i);
            return -1;
        });
    }
};

Statement::Statement(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
Statement::~Statement() = default;

void Statement::set(const std::string& name, ParameterValue value) {
    const std::string wanted = AsciiUpper(name);
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
    ITransaction* transaction = s.transaction();
    Checked(s.master(), [&](ThrowStatusWrapper* st) {
        s.statement->execute(st, transaction, s.inputMetadata.get(), s.inputBuffer.data(), nullptr, nullptr);
    });
}

void Statement::open() {
    Impl& s = *m_impl;
    s.closeCursor();
    s.buildInput();
    ITransaction* transaction = s.transaction();
    Checked(s.master(), [&](ThrowStatusWrapper* st) {
        if (!s.outputMetadata) {
            s.outputMetadata = Released<IMessageMetadata>(s.master(), s.statement->getOutputMetadata(st));
            s.outputBuffer.assign(s.outputMetadata->getMessageLength(st), 0);
        }
        s.cursor = CursorHolder(s.master(), s.statement->openCursor(st, transaction, s.inputMetadata.get(),
                                                                    s.inputBuffer.data(), s.outputMetadata.get(), 0));
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
    return Checked(s.master(), [&](ThrowStatusWrapper* st) {
        return ColumnText(s.outputMetadata.get(), st, s.outputBuffer.data(), static_cast<unsigned>(index), name);
    });
}

void Statement::close() {
    m_impl->closeCursor();
}

void Statement::commitOwn() {
    m_impl->closeCursor();
    m_impl->connection.commit(m_impl->ownTransaction);
}

DatabaseConnection::DatabaseConnection(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
DatabaseConnection::~DatabaseConnection() = default;

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
    impl->attachment = AttachmentHolder(master, Checked(master, [&](ThrowStatusWrapper* s) {
        Disposed<IXpbBuilder> dpb(master, master->getUtilInterface()->getXpbBuilder(s, IXpbBuilder::DPB, nullptr, 0));
        dpb->insertString(s, isc_dpb_user_name, Utf8ToCp1251(user).c_str());
        dpb->insertString(s, isc_dpb_password, Utf8ToCp1251(password).c_str());
        dpb->insertString(s, isc_dpb_lc_ctype, "WIN1251");
        dpb->insertInt(s, isc_dpb_connect_timeout, kConnectTimeoutSeconds);
        Released<IProvider> provider(master, master->getDispatcher());
        return provider->attachDatabase(s, database.c_str(), dpb->getBufferLength(s), dpb->getBuffer(s));
    }));
    return std::unique_ptr<DatabaseConnection>(new DatabaseConnection(std::move(impl)));
}

std::unique_ptr<Statement> DatabaseConnection::prepareInOwnTransaction(const std::string& sql,
                                                                      std::chrono::seconds lockTimeout) {
    std::unique_ptr<Statement> statement = prepare(sql);
    statement->m_impl->ownTransactionParameters = WaitingTransactionParameters(lockTimeout);
    return statement;
}

std::unique_ptr<Statement> DatabaseConnection::prepare(const std::string& sql) {
    const PositionalStatement positional = TranslateNamedParameters(sql);
    auto impl = std::make_unique<Statement::Impl>(*m_impl);
    ITransaction* transaction = m_impl->activeTransaction();
    impl->statement = StatementHolder(m_impl->master, Checked(m_impl->master, [&](ThrowStatusWrapper* s) {
        return m_impl->attachment->prepare(s, transaction, 0, Utf8ToCp1251(positional.sql).c_str(), kDialect,
                                           IStatement::PREPARE_PREFETCH_METADATA);
    }));
    impl->names = positional.names;
    impl->values.resize(positional.names.size());
    return std::unique_ptr<Statement>(new Statement(std::move(impl)));
}

void DatabaseConnection::commit() {
    m_impl->commit(m_impl->transaction);
}

bool DatabaseConnection::transactionActive() const {
    return static_cast<bool>(m_impl->transaction);
}

}  // namespace kestrix
