// Compact text value used for every field of the record store.
//
// Every value downloaded from the instrument is kept as text. A full memory
// produces tens of thousands of rows with dozens of fields each, so the field
// type matters: Text is 24 bytes and keeps up to 22 characters inline (dates,
// numbers, codes), falling back to the heap only for longer texts.
#pragma once

#include <cstddef>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

namespace oront {

class Text {
public:
    static constexpr std::size_t kInlineCapacity = 22;
    static constexpr std::size_t kMaxSize = std::size_t{1} << 20;

    Text() noexcept { setInlineEmpty(); }
    Text(std::string_view s) {
        setInlineEmpty();
        assign(s);
    }                                                          // NOLINT(implicit)
    Text(const char* s) : Text(std::string_view(s)) {}         // NOLINT(implicit)
    Text(const std::string& s) : Text(std::string_view(s)) {}  // NOLINT(implicit)
    Text(const Text& o) {
        setInlineEmpty();
        assign(o.view());
    }
    Text(Text&& o) noexcept {
        std::memcpy(s_, o.s_, sizeof s_);
        o.setInlineEmpty();
    }
    ~Text() { release(); }

    Text& operator=(const Text& o) {
        if (this != &o) assign(o.view());
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

inline void Text::assign(std::string_view s) {
    if (s.size() <= kInlineCapacity) {
        if (!isHeap()) {
            // s may lie in this text's own characters: memmove allows that.
            if (!s.empty()) std::memmove(s_, s.data(), s.size());
        } else {
            // s may lie in the heap block that is about to be released.
            char tmp[kInlineCapacity];
            if (!s.empty()) std::memcpy(tmp, s.data(), s.size());
            release();
            std::memcpy(s_, tmp, s.size());
        }
        s_[s.size()] = '\0';
        s_[23] = static_cast<char>(s.size());
        return;
    }
    // Texts come from record fields and cells: far below this limit.
    if (s.size() > kMaxSize) throw std::length_error("Text longer than 1 MB");
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
