#include "kit/crash/CWElfSymbolizer.h"

#include <elfutils/libdw.h>
#include <elfutils/libdwelf.h>
#include <elfutils/libdwfl.h>
#include <fcntl.h>
#include <gelf.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Only the files themselves: no separate debug files and no debuginfod server
// is asked, whatever the environment says.
int noSeparateDebugInfo(Dwfl_Module*, void**, const char*, Dwarf_Addr, const char*, const char*, GElf_Word, char**)
{
    return -1;
}

const Dwfl_Callbacks kOfflineCallbacks = {
    nullptr, // the files are reported with their paths
    noSeparateDebugInfo,
    nullptr,
    nullptr,
};

std::string hexOf(const unsigned char* bytes, size_t count)
{
    std::string text;
    char pair[3];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

// The line row of `address` found by asking each compilation unit for its
// address ranges: the module lookup goes by the .debug_aranges index, which
// clang leaves out unless asked, so code it built would otherwise have no
// lines. The row's address and line go to `rowAddress` and `number`.
const char* rowOfUnitsWithout(Dwfl_Module* module, Dwarf_Addr address, Dwarf_Addr* rowAddress, int* number)
{
    Dwarf_Addr bias = 0;
    for (Dwarf_Die* unit = dwfl_module_nextcu(module, nullptr, &bias); unit != nullptr;
         unit = dwfl_module_nextcu(module, unit, &bias)) {
        if (dwarf_haspc(unit, address - bias) != 1) {
            continue;
        }
        Dwarf_Line* line = dwarf_getsrc_die(unit, address - bias);
        Dwarf_Addr unbiased = 0;
        if (line == nullptr || dwarf_lineaddr(line, &unbiased) != 0 || dwarf_lineno(line, number) != 0) {
            return nullptr;
        }
        *rowAddress = unbiased + bias;
        return dwarf_linesrc(line, nullptr, nullptr);
    }
    return nullptr;
}

} // namespace

struct CWElfSymbolizer::Session {
    Dwfl* dwfl = nullptr;
    ~Session()
    {
        if (dwfl != nullptr) {
            dwfl_end(dwfl);
        }
    }
};

CWElfSymbolizer::CWElfSymbolizer()
    : session_(std::make_unique<Session>())
{
    elf_version(EV_CURRENT);
    session_->dwfl = dwfl_begin(&kOfflineCallbacks);
}

CWElfSymbolizer::~CWElfSymbolizer() = default;

std::optional<std::string> CWElfSymbolizer::buildIdOfFile(const std::string& path)
{
    elf_version(EV_CURRENT);
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    std::optional<std::string> identifier;
    if (Elf* elf = elf_begin(descriptor, ELF_C_READ_MMAP, nullptr)) {
        const void* bits = nullptr;
        const ssize_t length = dwelf_elf_gnu_build_id(elf, &bits);
        if (length >= 16) {
            identifier = hexOf(static_cast<const unsigned char*>(bits), 16);
        }
        elf_end(elf);
    }
    ::close(descriptor);
    return identifier;
}

bool CWElfSymbolizer::addImage(const std::string& path, uint64_t base, const std::string& uuid)
{
    if (session_->dwfl == nullptr || path.empty() || buildIdOfFile(path) != uuid) {
        return false;
    }
    dwfl_report_begin_add(session_->dwfl);
    Dwfl_Module* module = dwfl_report_elf(session_->dwfl, path.c_str(), path.c_str(), -1, base, false);
    dwfl_report_end(session_->dwfl, nullptr, nullptr);
    return module != nullptr;
}

std::optional<CWElfSymbolizer::Location> CWElfSymbolizer::locate(uint64_t address, uint64_t lineAddress) const
{
    if (session_->dwfl == nullptr) {
        return std::nullopt;
    }
    Dwfl_Module* module = dwfl_addrmodule(session_->dwfl, address);
    if (module == nullptr) {
        return std::nullopt;
    }
    GElf_Off offset = 0;
    GElf_Sym symbol{};
    const char* name = dwfl_module_addrinfo(module, address, &offset, &symbol, nullptr, nullptr, nullptr);
    if (name == nullptr || name[0] == '\0') {
        return std::nullopt;
    }
    Location location;
    location.function = name;
    location.functionStart = address - offset;
    // A row before the function's start belongs to code before it (a table
    // that runs on over bytes no row describes): no line rather than a wrong one.
    int number = 0;
    Dwarf_Addr rowAddress = 0;
    const char* file = nullptr;
    if (Dwfl_Line* line = dwfl_module_getsrc(module, lineAddress)) {
        file = dwfl_lineinfo(line, &rowAddress, &number, nullptr, nullptr, nullptr);
    } else {
        file = rowOfUnitsWithout(module, lineAddress, &rowAddress, &number);
    }
    if (file != nullptr && rowAddress >= location.functionStart) {
        location.file = file;
        location.line = number > 0 ? static_cast<uint32_t>(number) : 0;
    }
    return location;
}
