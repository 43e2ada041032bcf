#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/SecureMemory.h"

// The two owners of secrets (passwords, key texts, key bytes, key schedules,
// chaining blocks, plain text in flight). Nothing else in the tree wipes by
// hand; SecureWipe is the primitive both use.
namespace quillmoor {

// A standard container holding a secret. Its heap storage sits on pages kept
// out of dumps and swap (wiped when released); on destruction, when moved
// from, and on Wipe(), it also zeros its spare capacity and whatever the
// container keeps inside itself (a short string's inline buffer).
template <typename Container> class Secret : public Container {
  public:
    using Container::Container;
    using typename Container::value_type;
    using Container::operator=;

    Secret() = default;
    Secret(const Secret&) = default;
    Secret(Secret&& other) noexcept : Container(std::move(static_cast<Container&>(other))) {
        other.Wipe();
    }
    Secret& operator=(const Secret&) = default;
    Secret& operator=(Secret&& other) noexcept {
        if (this != &other) {
            Wipe();
            Container::operator=(std::move(static_cast<Container&>(other)));
            other.Wipe();
        }
        return *this;
    }
    ~Secret() { Wipe(); }

    // Zeros every byte the secret occupies and empties it.
    void Wipe() noexcept {
        WipeStorage();
        this->clear();
        this->shrink_to_fit(); // heap storage goes back; a string returns to its inline buffer
        WipeStorage();
    }

  private:
    void WipeStorage() noexcept {
        std::size_t units = this->capacity();
        if constexpr (requires { typename Container::traits_type; })
            ++units; // the terminator's place
        if (this->data())
            SecureWipe(this->data(), units * sizeof(value_type));
    }
};

template <typename C>
using BasicSecretText = Secret<std::basic_string<C, std::char_traits<C>, SecureAllocator<C>>>;
using SecretText = BasicSecretText<char>;
using SecretText16 = BasicSecretText<char16_t>;
template <typename T> using SecretVector = Secret<std::vector<T, SecureAllocator<T>>>;
using SecretBytes = SecretVector<std::uint8_t>;

// One fixed-size secret (a key schedule, a chaining block) on pages of its
// own: out of dumps and swap while held, wiped when the owner goes.
template <typename T> class SecretObject {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

  public:
    SecretObject() : object_(new (AllocateSecretPages(sizeof(T))) T{}) {}
    explicit SecretObject(const T& value) : SecretObject() { *object_ = value; }
    ~SecretObject() { ReleaseSecretPages(object_, sizeof(T)); }
    SecretObject(const SecretObject&) = delete;
    SecretObject& operator=(const SecretObject&) = delete;

    T& operator*() noexcept { return *object_; }
    const T& operator*() const noexcept { return *object_; }
    T* operator->() noexcept { return object_; }
    const T* operator->() const noexcept { return object_; }

  private:
    T* object_;
};

} // namespace quillmoor
