// Owning wrappers for what Win32 hands out: memory from LocalAlloc and CoTaskMemAlloc, COM
// interface pointers, the COM apartment of a thread, and module handles. Each releases what it
// owns on every path and cannot be copied.
#pragma once
#include <objbase.h>
#include <windows.h>

#include <utility>

// Any object of this module: its address names the module that holds it.
inline const char kInsideThisModule = 0;

// A block the system allocated with LocalAlloc (FormatMessageW, CommandLineToArgvW).
template <typename T>
class LocalMemory {
public:
    LocalMemory() = default;
    ~LocalMemory() {
        if (p_ != nullptr) ::LocalFree(p_);
    }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    T get() const { return p_; }
    T* out() { return &p_; }
    void reset(T p) {
        if (p_ != nullptr) ::LocalFree(p_);
        p_ = p;
    }

private:
    T p_ = nullptr;
};

// Text the system allocated with CoTaskMemAlloc (shell item names, known folder paths).
class CoTaskText {
public:
    CoTaskText() = default;
    ~CoTaskText() { ::CoTaskMemFree(p_); }
    CoTaskText(const CoTaskText&) = delete;
    CoTaskText& operator=(const CoTaskText&) = delete;
    PWSTR get() const { return p_; }
    PWSTR* out() { return &p_; }

private:
    PWSTR p_ = nullptr;
};

// One reference to a COM interface.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For calls that hand out a new reference; releases the present one first.
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }
    void reset() {
        if (p_ != nullptr) std::exchange(p_, nullptr)->Release();
    }

private:
    T* p_ = nullptr;
};

// COM on the calling thread for the object's lifetime. A thread whose COM is already set up in
// another mode keeps it, and nothing is undone for it.
class ComApartment {
public:
    explicit ComApartment(DWORD mode) {
        const HRESULT hr = ::CoInitializeEx(nullptr, mode);
        initialised_ = SUCCEEDED(hr);
        usable_ = initialised_ || hr == RPC_E_CHANGED_MODE;
    }
    ~ComApartment() {
        if (initialised_) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool usable() const { return usable_; }

private:
    bool initialised_ = false;
    bool usable_ = false;
};

// A loaded module, freed unless it is let go.
class LibraryHandle {
public:
    explicit LibraryHandle(HMODULE module = nullptr) : module_(module) {}
    ~LibraryHandle() {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    LibraryHandle(const LibraryHandle&) = delete;
    LibraryHandle& operator=(const LibraryHandle&) = delete;
    HMODULE get() const { return module_; }
    HMODULE release() { return std::exchange(module_, nullptr); }

private:
    HMODULE module_;
};
