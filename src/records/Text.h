// Compact text value used for every field of the record store.
//
// Every value downloaded from the instrument is kept as text. A full memory
// produces tens of thousands of rows with dozens of fields each, so the field
// type matters: Text is 24 bytes and keeps up to 22 characters inline (dates,
// numbers, codes), falling back to the heap only for longer texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace oront {

class Text {
public:
    static constexpr std::size_t kInlineCapacity = 22;

    Text() noexcept { setInlineEmpty(); }
    Text(std::string_view s) { setInlineEmpty(); assign(s); }  // NOLINT(implicit)
    Text(const char* s) : Text(std::string_view(s)) {}         // NOLINT(implicit)
    Text(const std::string& s) : Text(std::string_view(s)) {}  // NOLINT(implicit)
    Text(const Text& o) {
        if (o.isHeap()) {
            setInlineEmpty();
            assign(o.view());
        } else {
            std::memcpy(s_, o.s_, sizeof s_);  // inline texts copy as one block
        }
    }
    Text(Text&& o) noexcept {
        std::memcpy(s_, o.s_, sizeof s_);
        o.setInlineEmpty();
    }
    ~Text() { release(); }

    Text& operator=(const Text& o) {
        if (this == &o) return *this;
        if (!o.isHeap() && !isHeap()) {
            std::memcpy(s_, o.s_, sizeof s_);  // inline texts copy as one block
            return *this;
        }
        assign(o.view());
        return *this;
    }
    Text& operator=(Text&& o) noexcept {
        if (this != &o) {
            release();
            std::memcpy(s_, o.s_, sizeof s_);
            o.setInlineEmpty();
        }
        return *this;
    }
    Text& operator=(std::string_view s) {
        assign(s);
        return *this;
    }
    Text& operator=(const char* s) { return *this = std::string_view(s); }
    Text& operator=(const std::string& s) { return *this = std::string_view(s); }

    void assign(std::string_view s);
    void clear() noexcept {
        release();
        setInlineEmpty();
    }

    [[nodiscard]] const char* c_str() const noexcept { return isHeap() ? heapPtr() : s_; }
    [[nodiscard]] std::size_t size() const noexcept {
        return isHeap() ? heapSize() : static_cast<unsigned char>(s_[23]);
    }
    [[nodiscard]] bool empty() const noexcept { return size() == 0; }
    [[nodiscard]] std::string_view view() const noexcept { return {c_str(), size()}; }
    operator std::string_view() const noexcept { return view(); }  // NOLINT(implicit)
    [[nodiscard]] std::string str() const { return std::string(view()); }

    friend bool operator==(const Text& a, const Text& b) noexcept { return a.view() == b.view(); }
    friend bool operator==(const Text& a, std::string_view b) noexcept { return a.view() == b; }
    friend bool operator==(const Text& a, const char* b) noexcept { return a.view() == b; }
    friend bool operator==(const Text& a, const std::string& b) noexcept { return a.view() == b; }

private:
    static constexpr unsigned char kHeapTag = 0xFF;
    bool isHeap() const noexcept { return static_cast<unsigned char>(s_[23]) == kHeapTag; }
    char* heapPtr() const noexcept {
        char* p;
        std::memcpy(&p, s_, sizeof p);
        return p;
    }
    std::size_t heapSize() const noexcept {
        std::size_t n;
        std::memcpy(&n, s_ + 8, sizeof n);
        return n;
    }
    void setInlineEmpty() noexcept {
        s_[0] = '\0';
        s_[23] = 0;
    }
    void release() noexcept {
        if (isHeap()) delete[] heapPtr();
    }

    char s_[24];
};

static_assert(sizeof(Text) == 24);

namespace detail {
// Copies up to 23 bytes with a few fixed-size moves instead of a library
// call. All loads happen before the stores, so source and destination may
// overlap.
inline void SmallCopy(char* dst, const char* src, std::size_t n) noexcept {
    if (n >= 16) {
        std::uint64_t a, b, c;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + 8, 8);
        std::memcpy(&c, src + n - 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + 8, &b, 8);
        std::memcpy(dst + n - 8, &c, 8);
    } else if (n >= 8) {
        std::uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + n - 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + n - 8, &b, 8);
    } else if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, src, 4);
        std::memcpy(&b, src + n - 4, 4);
        std::memcpy(dst, &a, 4);
        std::memcpy(dst + n - 4, &b, 4);
    } else if (n > 0) {
        const char a = src[0], b = src[n / 2], c = src[n - 1];
        dst[0] = a;
        dst[n / 2] = b;
        dst[n - 1] = c;
    }
}
}  // namespace detail

inline void Text::assign(std::string_view s) {
    if (s.size() <= kInlineCapacity) {
        if (!isHeap()) {
            // s may point into our own inline buffer: SmallCopy allows that.
            detail::SmallCopy(s_, s.data(), s.size());
        } else {
            // Copy first: s may point into our own heap buffer.
            char tmp[kInlineCapacity + 1];
            detail::SmallCopy(tmp, s.data(), s.size());
            release();
            detail::SmallCopy(s_, tmp, s.size());
        }
        s_[s.size()] = '\0';
        s_[23] = static_cast<char>(s.size());
        return;
    }
    char* p = new char[s.size() + 1];
    std::memcpy(p, s.data(), s.size());
    p[s.size()] = '\0';
    release();
    const std::size_t n = s.size();
    std::memcpy(s_, &p, sizeof p);
    std::memcpy(s_ + 8, &n, sizeof n);
    s_[23] = static_cast<char>(kHeapTag);
}

}  // namespace oront
