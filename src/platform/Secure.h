// Overwriting secret material with zeros before its memory is released.
#pragma once
#include <cstddef>
#include <string>
#include <utility>

// Zeros the bytes in a way the compiler may not remove.
void SecureZero(void* data, size_t size);

// Zeros the string's whole capacity, then empties it.
void SecureWipe(std::string& secret);
template <class Char>
void SecureWipe(std::basic_string<Char>& secret) {
    secret.resize(secret.capacity());
    SecureZero(secret.data(), secret.size() * sizeof(Char));
    secret.clear();
}

// Wipes a string that may come to hold a secret when the scope ends, however it ends.
template <class Text>
class WipeOnExit {
public:
    explicit WipeOnExit(Text& text) : text_(text) {}
    ~WipeOnExit() { SecureWipe(text_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    Text& text_;
};

// A secret in a string that is wiped whenever a holder lets go of it: at destruction, when it
// is moved from, and when it is assigned over. Copies are secrets of their own.
class SecretString {
public:
    SecretString() = default;
    explicit SecretString(std::string text) : text_(std::move(text)) {}
    SecretString(const SecretString& other) : text_(other.text_) {}
    SecretString(SecretString&& other) noexcept : text_(std::move(other.text_)) { SecureWipe(other.text_); }
    SecretString& operator=(const SecretString& other) {
        if (this != &other) {
            SecureWipe(text_);
            text_ = other.text_;
        }
        return *this;
    }
    SecretString& operator=(SecretString&& other) noexcept {
        if (this != &other) {
            SecureWipe(text_);
            text_ = std::move(other.text_);
            SecureWipe(other.text_);
        }
        return *this;
    }
    ~SecretString() { SecureWipe(text_); }

    const std::string& text() const { return text_; }
    bool empty() const { return text_.empty(); }

private:
    std::string text_;
};
