// A value that was made, or the text that tells a person why it could not be.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>
#include <utility>

namespace base {

// A failed Result is made from one: `return base::Failure {text};`. The text is never empty.
struct Failure
{
    QString text;
};

template<typename T> class Result
{
public:
    Result(T value)
        : m_value(std::move(value))
    { }
    Result(Failure failure)
        : m_failure(std::move(failure.text))
    {
        Q_ASSERT(!m_failure.isEmpty());
    }

    // Made; then failure() is empty.
    explicit operator bool() const { return m_value.has_value(); }
    T &operator*() & { return *m_value; }
    const T &operator*() const & { return *m_value; }
    T &&operator*() && { return *std::move(m_value); }
    T *operator->() { return &*m_value; }
    const T *operator->() const { return &*m_value; }
    T valueOr(T other) const & { return m_value.value_or(std::move(other)); }
    const QString &failure() const { return m_failure; }

private:
    std::optional<T> m_value;
    QString m_failure;
};

} // namespace base
