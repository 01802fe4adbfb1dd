#pragma once
// One owner for a system resource named by a plain value (a descriptor, a handle): it
// closes what it holds once, wherever it moves. The traits say what is empty, how to
// close, and how to keep the thread's error code across a cleanup, so that the close on
// the way out of a failure does not replace its cause.

namespace platform {

template <typename Traits>
class UniqueResource {
  public:
    using Value = typename Traits::Value;

    UniqueResource() = default;
    explicit UniqueResource(Value value) : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Value Get() const { return value_; }
    explicit operator bool() const { return Traits::Held(value_); }

    // Gives the resource up without closing it.
    Value Release() {
        const Value value = value_;
        value_ = Traits::kEmpty;
        return value;
    }

    // Closes what is held, keeping the thread's error code, and holds value instead.
    void Reset(Value value = Traits::kEmpty) {
        if (Traits::Held(value_)) {
            const auto saved = Traits::SaveError();
            Traits::Close(value_);
            Traits::RestoreError(saved);
        }
        value_ = value;
    }

    // Closes now and reports the close itself (the error code as it left it); true when
    // nothing was held.
    bool Close() {
        const Value value = Release();
        return !Traits::Held(value) || Traits::Close(value);
    }

  private:
    Value value_ = Traits::kEmpty;
};

}  // namespace platform
