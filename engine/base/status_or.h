#pragma once
// StatusOr<T>: a value, or the Status that says why there is none.  For
// functions that produce something or fail with a message for the user, in
// place of a bool and an error string beside the result.
#include <optional>
#include <utility>

#include "status.h"

namespace velk {

template <typename T>
class [[nodiscard]] StatusOr {
public:
    StatusOr(T value) : m_value(std::move(value)) {}
    // A failure; an ok status here would leave no value, so it counts as kInvalid.
    StatusOr(Status status)
        : m_status(status.isOk() ? Status(StatusCode::kInvalid, "no value") : std::move(status)) {}
    StatusOr(StatusCode code, std::string message) : m_status(code, std::move(message)) {}

    bool isOk() const { return m_value.has_value(); }
    explicit operator bool() const { return isOk(); }
    const Status& status() const { return m_status; }

    // Only when isOk().
    T& value() & { return *m_value; }
    const T& value() const& { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    T* operator->() { return &*m_value; }
    const T* operator->() const { return &*m_value; }
    T& operator*() & { return *m_value; }
    const T& operator*() const& { return *m_value; }

private:
    std::optional<T> m_value;
    Status m_status;
};

}  // namespace velk
