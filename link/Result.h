#pragma once
// A value or the reason there is none: the library's or the system's text,
// with the system's error number where there is one. The reason travels with
// the failure, so no caller can drop it by not asking.

#include <cstring>
#include <string>
#include <utility>
#include <variant>

namespace kestrix {

struct Failure {
    std::string reason;
    int systemError = 0;  // errno, where the system gave one

    // The failure of a system call: its name and the system's text for errno.
    static Failure OfSystem(const std::string& call, int error) {
        return {call + ": " + std::strerror(error), error};
    }
};

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_outcome(std::move(value)) {}
    Result(Failure failure) : m_outcome(std::move(failure)) {}

    explicit operator bool() const { return m_outcome.index() == 0; }
    T& operator*() { return std::get<0>(m_outcome); }
    const T& operator*() const { return std::get<0>(m_outcome); }
    T* operator->() { return &std::get<0>(m_outcome); }
    const T* operator->() const { return &std::get<0>(m_outcome); }
    const Failure& failure() const { return std::get<1>(m_outcome); }

private:
    std::variant<T, Failure> m_outcome;
};

// Done, or the reason it was not.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : m_failure(std::move(failure)), m_failed(true) {}

    explicit operator bool() const { return !m_failed; }
    const Failure& failure() const { return m_failure; }

private:
    Failure m_failure;
    bool m_failed = false;
};

}  // namespace kestrix
