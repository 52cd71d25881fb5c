// Zeroing of secrets through a volatile pointer, so the stores are never elided.
#include "platform/Secure.h"

void SecureZero(void* data, size_t size) {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    while (size--) *p++ = 0;
}

void SecureWipe(std::string& secret) {
    secret.resize(secret.capacity());
    SecureZero(secret.data(), secret.size());
    secret.clear();
}
