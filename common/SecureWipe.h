#pragma once

#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace quillmoor {

// Overwrites memory with zeros in a way the optimiser may not drop, for key
// bytes, passwords and key schedules that are about to be released.
inline void SecureWipe(void* data, std::size_t size) noexcept {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

template <typename T, typename A> void SecureWipe(std::vector<T, A>& v) noexcept {
    SecureWipe(v.data(), v.size() * sizeof(T));
}

template <typename C, typename T, typename A>
void SecureWipe(std::basic_string<C, T, A>& s) noexcept {
    SecureWipe(s.data(), s.size() * sizeof(C));
}

// Zeros the whole buffer of a string (also what lies past its current size,
// e.g. a dropped line ending or the tail of a longer text it held before),
// then empties it. The one way to drop a string that held a secret.
template <typename C, typename T, typename A>
void WipeString(std::basic_string<C, T, A>& s) noexcept {
    s.resize(s.capacity());
    SecureWipe(s);
    s.clear();
}

// Wipes a plain object (a block array, a key schedule) or the elements of a
// container.
template <typename T> void SecureWipeObject(T& object) noexcept {
    if constexpr (std::is_trivially_copyable_v<T>)
        SecureWipe(&object, sizeof object);
    else
        SecureWipe(object.data(), object.size() * sizeof(typename T::value_type));
}

// Wipes the objects it was given when the scope ends, on every way out
// (return, cancel, exception).
template <typename... T> class WipeOnExit {
  public:
    explicit WipeOnExit(T&... objects) noexcept : objects_(objects...) {}
    ~WipeOnExit() {
        std::apply([](auto&... object) { (SecureWipeObject(object), ...); }, objects_);
    }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

  private:
    std::tuple<T&...> objects_;
};

} // namespace quillmoor
