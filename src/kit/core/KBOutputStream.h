#pragma once

#include <cstddef>
#include <string>

// Where an encoder writes: write() returns how many bytes the sink accepted.
class KBOutputStream {
public:
    virtual ~KBOutputStream() = default;
    virtual void open() { }
    virtual size_t write(const void* bytes, size_t length) = 0;
    virtual void close() { }
};

// Collects the bytes in memory.
class KBMemoryOutputStream : public KBOutputStream {
public:
    size_t write(const void* bytes, size_t length) override
    {
        data_.append(static_cast<const char*>(bytes), length);
        return length;
    }
    const std::string& data() const { return data_; }

private:
    std::string data_;
};

// Writes to a file descriptor the caller owns; a write the system cuts short
// reports what it took.
class KBFileDescriptorOutputStream : public KBOutputStream {
public:
    explicit KBFileDescriptorOutputStream(int fd)
        : fd_(fd)
    {
    }
    size_t write(const void* bytes, size_t length) override;

private:
    int fd_;
};
