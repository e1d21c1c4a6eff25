// The fuzz targets' input reader, exact-size fields, checks and scratch folder.
#include "fuzz/FuzzSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

int32_t FuzzInput::int32() {
    uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) value |= static_cast<uint32_t>(byte()) << shift;
    return static_cast<int32_t>(value);
}

std::string_view FuzzInput::piece() {
    const size_t start = at_;
    while (at_ < size_ && data_[at_] != 0) ++at_;
    const std::string_view text(reinterpret_cast<const char*>(data_ + start), at_ - start);
    if (at_ < size_) ++at_;  // the NUL that ended it
    return text;
}

std::string_view FuzzInput::rest() {
    const std::string_view text(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
    at_ = size_;
    return text;
}

FixedField::FixedField(size_t capacity, std::string_view text)
    : bytes_(new char[capacity == 0 ? 1 : capacity]), capacity_(capacity) {
    // Cut at the first NUL as well: a C string ends there whatever follows.
    size_t length = std::min(text.size(), capacity == 0 ? 0 : capacity - 1);
    const size_t nul = text.substr(0, length).find('\0');
    if (nul != std::string_view::npos) length = nul;
    if (length > 0) std::memcpy(bytes_.get(), text.data(), length);
    bytes_[length] = '\0';
}

std::string FixedField::text(const char* what) const {
    expectTerminated(bytes_.get(), capacity_, what);
    return bytes_.get();
}

void fuzzExpect(bool holds, const char* rule) {
    if (holds) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", rule);
    std::abort();
}

void expectTerminated(const char* field, size_t capacity, const char* what) {
    if (std::memchr(field, '\0', capacity) != nullptr) return;
    std::fprintf(stderr, "fuzz check failed: %s has no terminator within its %zu bytes\n", what, capacity);
    std::abort();
}

namespace {

std::string madeFolder;

void removeScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(madeFolder, ignored);
}

}  // namespace

const std::string& scratchFolder() {
    if (!madeFolder.empty()) return madeFolder;
    std::error_code error;
    std::string name = (std::filesystem::temp_directory_path(error) / "linkweave-fuzz-XXXXXX").string();
    fuzzExpect(!error && ::mkdtemp(name.data()) != nullptr, "a scratch folder can be made under $TMPDIR");
    madeFolder = name;
    std::atexit(removeScratchFolder);
    return madeFolder;
}
