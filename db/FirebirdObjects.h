#pragma once
// The Firebird client library's objects, each held by the one kind of owner
// that ends it: released (reference-counted interfaces), disposed (builders,
// status), or ended by a call of its own (rollback, detach, free, close) that,
// when it fails, releases the object anyway. And the one status wrapper that
// turns the library's errors into DatabaseError with the library's own text.

#include <firebird/Interface.h>

#include <utility>
#include <vector>

#include "db/DatabaseConnection.h"

namespace kestrix::firebird {

// The library's own text of an error status (UTF-8), and its error codes.
std::string StatusText(Firebird::IMaster* master, Firebird::IStatus* status);
std::vector<long> ErrorCodes(Firebird::IStatus* status);

// Runs one call of the client library with a throwing status; its error
// becomes a DatabaseError with the library's own text.
template <class Call>
auto Checked(Firebird::IMaster* master, Call&& call) {
    Firebird::ThrowStatusWrapper status(master->getStatus());
    struct Disposer {
        Firebird::ThrowStatusWrapper& status;
        ~Disposer() { status.dispose(); }
    } disposer{status};
    try {
        return call(&status);
    } catch (const Firebird::FbException& error) {
        throw DatabaseError(StatusText(master, error.getStatus()), ErrorCodes(error.getStatus()));
    }
}

// An owner that ends its object with End(object) when it goes, or on reset().
template <class T, void (*End)(Firebird::IMaster*, T*)>
class Owned {
public:
    Owned() = default;
    Owned(Firebird::IMaster* master, T* object) : m_master(master), m_object(object) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept
        : m_master(other.m_master), m_object(std::exchange(other.m_object, nullptr)) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) {
            reset();
            m_master = other.m_master;
            m_object = std::exchange(other.m_object, nullptr);
        }
        return *this;
    }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }
    void reset() {
        if (m_object) End(m_master, std::exchange(m_object, nullptr));
    }
    // The object has been ended by a call that succeeded (commit): forget it.
    void forget() { m_object = nullptr; }

private:
    Firebird::IMaster* m_master = nullptr;
    T* m_object = nullptr;
};

template <class T>
void Release(Firebird::IMaster*, T* object) {
    object->release();
}

template <class T>
void Dispose(Firebird::IMaster*, T* object) {
    object->dispose();
}

// Ends an object with its own call; when that fails, it is released anyway.
template <class T, void (*Call)(T*, Firebird::ThrowStatusWrapper*)>
void EndOrRelease(Firebird::IMaster* master, T* object) {
    try {
        Checked(master, [&](Firebird::ThrowStatusWrapper* s) { Call(object, s); });
    } catch (const DatabaseError&) {
        object->release();
    }
}

inline void Rollback(Firebird::ITransaction* t, Firebird::ThrowStatusWrapper* s) { t->rollback(s); }
inline void Detach(Firebird::IAttachment* a, Firebird::ThrowStatusWrapper* s) { a->detach(s); }
inline void Free(Firebird::IStatement* st, Firebird::ThrowStatusWrapper* s) { st->free(s); }
inline void Close(Firebird::IResultSet* c, Firebird::ThrowStatusWrapper* s) { c->close(s); }

template <class T>
using Released = Owned<T, Release<T>>;
template <class T>
using Disposed = Owned<T, Dispose<T>>;
using TransactionHolder = Owned<Firebird::ITransaction, EndOrRelease<Firebird::ITransaction, Rollback>>;
using AttachmentHolder = Owned<Firebird::IAttachment, EndOrRelease<Firebird::IAttachment, Detach>>;
using StatementHolder = Owned<Firebird::IStatement, EndOrRelease<Firebird::IStatement, Free>>;
using CursorHolder = Owned<Firebird::IResultSet, EndOrRelease<Firebird::IResultSet, Close>>;

}  // namespace kestrix::firebird
