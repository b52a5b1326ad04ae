#pragma once
// A counted reference to a COM object, released by its owner.

#include <unknwn.h>

#include <utility>

namespace ldt::gui {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    T** Put() {
        Reset();
        return &p_;
    }
    void Reset(T* p = nullptr) {
        if (p_) p_->Release();
        p_ = p;
    }

private:
    T* p_ = nullptr;
};

}  // namespace ldt::gui
