#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Names addresses of a crashed run from the ELF files on disk, through
// elfutils' libdwfl: function names from the files' symbol tables (static
// functions too) and, where a file carries DWARF line tables, source file and
// line. Each file is placed where the crashed run had it loaded, so addresses
// of that run are looked up as they are. A file is used only while its build
// id still is the one the crashed run recorded: a rebuilt file names nothing
// rather than the wrong thing.
class CWElfSymbolizer {
public:
    struct Location {
        std::string function; // as in the symbol table (mangled)
        uint64_t functionStart = 0;
        std::optional<std::string> file;
        uint32_t line = 0;
    };

    CWElfSymbolizer();
    ~CWElfSymbolizer();
    CWElfSymbolizer(const CWElfSymbolizer&) = delete;
    CWElfSymbolizer& operator=(const CWElfSymbolizer&) = delete;

    // Adds the file at `path`, loaded at `base` (the address of its first
    // byte) in the crashed run, whose build id began with `uuid` (32
    // lower-case hex digits). False when the file is missing, no ELF file or
    // of another build.
    bool addImage(const std::string& path, uint64_t base, const std::string& uuid);
    // The function holding the address; nothing when no added file has a
    // symbol there. The source line is that of `lineAddress`.
    std::optional<Location> locate(uint64_t address, uint64_t lineAddress) const;

    // The first 16 bytes of the file's GNU build id in hex; nothing without one.
    static std::optional<std::string> buildIdOfFile(const std::string& path);

private:
    struct Session;
    std::unique_ptr<Session> session_;
};
