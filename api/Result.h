#pragma once

#include "api/ApiError.h"

#include <utility>
#include <variant>

namespace zqt {

// Success with a value, or failure with an ApiError. Handed to completions; never throws.
template <class T> class Result {
public:
    static Result success(T value) { return Result(std::in_place_index<0>, std::move(value)); }
    static Result failure(ApiError error) { return Result(std::in_place_index<1>, std::move(error)); }

    bool ok() const { return m_v.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only valid when ok().
    const T& value() const& { return std::get<0>(m_v); }
    T& value() & { return std::get<0>(m_v); }
    T&& value() && { return std::get<0>(std::move(m_v)); }
    const T* operator->() const { return &std::get<0>(m_v); }

    // Only valid when !ok().
    const ApiError& error() const { return std::get<1>(m_v); }

private:
    template <std::size_t I, class U> Result(std::in_place_index_t<I> tag, U&& u) : m_v(tag, std::forward<U>(u)) {}
    std::variant<T, ApiError> m_v;
};

} // namespace zqt
