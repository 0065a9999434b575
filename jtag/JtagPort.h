#pragma once
// Where the JTAG packets go: the programmer in the program, a scripted fake in tests.

#include <cstdint>
#include <span>
#include <string>

class IJtagPort {
public:
    virtual ~IJtagPort() = default;

    // One transfer of `bytes`; true when it went out whole.
    virtual bool Send(std::span<const std::uint8_t> bytes) = 0;
    // One read of at most `size` bytes; the count read (0 when nothing came).
    virtual int Read(std::uint8_t* buffer, int size) = 0;
    // How the last transfer went, for the trace line of a failure.
    virtual std::string StatusText() const { return {}; }
};

// The programmer link (g_ProgrammerLink): success is what its LastStatus() says.
class LinkJtagPort final : public IJtagPort {
public:
    bool Send(std::span<const std::uint8_t> bytes) override;
    int Read(std::uint8_t* buffer, int size) override;
    std::string StatusText() const override;
};
