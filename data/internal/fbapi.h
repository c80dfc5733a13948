// Thin RAII over the Firebird object API, for the data layer's own use.
//
// Ref<T> releases a reference-counted interface (attachment, transaction, statement,
// result set, blob, metadata); the API itself releases an interface on a successful
// commit(), rollback(), detach(), close() or free(), so callers release() the owner
// after such a call. Disposable<T> disposes of an interface that is not reference-counted
// (a parameter block builder, a status). Status wraps a ThrowStatusWrapper whose status is disposed
// at scope end. toDatabaseError turns a failed status into the text form of a connection kind.
#pragma once

#include <firebird/Interface.h>

#include <string>
#include <utility>
#include <vector>

#include "data/connectionkind.h"
#include "data/errors.h"

namespace enviozvr::data::fb {

Firebird::IMaster* master();
Firebird::IUtil* util();
Firebird::IProvider* provider();

template <class T>
class Ref {
  public:
    Ref() = default;
    explicit Ref(T* p) : p_(p) {}
    ~Ref() { reset(); }
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) {
            reset();
            p_ = std::exchange(o.p_, nullptr);
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Gives up ownership: for calls that release the interface themselves on success.
    T* release() { return std::exchange(p_, nullptr); }
    void reset(T* p = nullptr) {
        if (p_) p_->release();
        p_ = p;
    }

  private:
    T* p_ = nullptr;
};

// Owns an interface that the client library frees with dispose() rather than release().
template <class T>
class Disposable {
  public:
    explicit Disposable(T* p) : p_(p) {}
    ~Disposable() {
        if (p_) p_->dispose();
    }
    Disposable(const Disposable&) = delete;
    Disposable& operator=(const Disposable&) = delete;

    T* get() const { return p_; }
    T* operator->() const { return p_; }

  private:
    T* p_;
};

// A status wrapper that throws Firebird::FbException on any error.
class Status {
  public:
    Status() : raw_(master()->getStatus()), wrapper_(raw_) {}
    ~Status() { raw_->dispose(); }
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;
    Firebird::ThrowStatusWrapper* operator&() { return &wrapper_; }
    Firebird::ThrowStatusWrapper* get() { return &wrapper_; }

  private:
    Firebird::IStatus* raw_;
    Firebird::ThrowStatusWrapper wrapper_;
};

// The server's message lines of a failed status, in order.
std::vector<std::string> statusLines(const Firebird::IStatus* status);
DatabaseError toDatabaseError(const Firebird::IStatus* status, ConnectionKind kind,
                              const std::string& statement = {});
// The text form of an error of a connection kind from its message lines.
std::string errorText(const std::vector<std::string>& lines, ConnectionKind kind);
// True when a failed call's status carries the error `code`.
bool statusHas(const Firebird::IStatus* status, ISC_STATUS code);

}  // namespace enviozvr::data::fb
