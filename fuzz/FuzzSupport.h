// What the fuzz targets share: the input cut into the fields a target feeds the program,
// fields allocated at exactly their capacity (so a write or read one byte past one is
// caught by AddressSanitizer), the checks that stop a run, and a scratch folder for the
// files the code under test writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The entry point of every target, for libFuzzer and for the seed runner alike.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Reads an input front to back. Texts are pieces ending at a NUL byte, since the
// program's fields are C strings and can hold no NUL; numbers are single bytes. An
// input that runs out gives zeros and empty texts, so every input is a valid one.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    // Four bytes, lowest first.
    int32_t int32();
    // The bytes up to the next NUL (which is consumed) or the end.
    std::string_view piece();
    // Everything not read yet.
    std::string_view rest();

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A char field of exactly `capacity` bytes on the heap, holding `text` cut to fit, as
// the bounded copy would leave it.
class FixedField {
public:
    FixedField(size_t capacity, std::string_view text = {});
    char* data() { return bytes_.get(); }
    size_t capacity() const { return capacity_; }
    // The field's text; fails the run when the field lost its terminator.
    std::string text(const char* what) const;

private:
    std::unique_ptr<char[]> bytes_;
    size_t capacity_;
};

// Stops the run (an abort, which libFuzzer keeps as a crash with its input) when a rule is broken.
void fuzzExpect(bool holds, const char* rule);
// The same for a fixed field: its terminator lies within its capacity.
void expectTerminated(const char* field, size_t capacity, const char* what);

// A new, empty folder under $TMPDIR, made at the first call and removed with its files at
// exit, for the files a target's code writes. (The working folder stays: libFuzzer reads
// the corpus folders it was given relative to it.)
const std::string& scratchFolder();
