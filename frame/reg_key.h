// Owner of an open registry key: closed on every path out of the scope that opened it.
#pragma once

#include "platform/win32.h"

namespace hostlens {

class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKEY key) : key_(key) {}
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    RegKey(RegKey&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
    RegKey& operator=(RegKey&& other) noexcept {
        if (this != &other) {
            Close();
            key_ = other.key_;
            other.key_ = nullptr;
        }
        return *this;
    }

    HKEY Get() const { return key_; }
    // For the output argument of RegOpenKeyExW and friends.
    HKEY* Receive() {
        Close();
        return &key_;
    }
    // Hands the key to the caller, who closes it.
    HKEY Release() {
        HKEY key = key_;
        key_ = nullptr;
        return key;
    }
    void Close() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
            key_ = nullptr;
        }
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace hostlens
