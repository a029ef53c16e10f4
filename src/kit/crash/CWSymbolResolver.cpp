#include "kit/crash/CWSymbolResolver.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>

#include "kit/crash/CWFileManager.h"
#include "kit/crash/CWRecordReader.h"
#include "kit/support/KBLog.h"

namespace {

std::optional<std::string> textOf(const nlohmann::json& record, const char* key)
{
    const auto found = record.find(key);
    return found != record.end() && found->is_string() ? std::optional<std::string>(found->get<std::string>())
                                                       : std::nullopt;
}

bool hasNumber(const nlohmann::json& record, const char* key)
{
    const auto found = record.find(key);
    return found != record.end() && found->is_number_unsigned();
}

} // namespace

bool CWSymbolResolver::loadBinaryImagesFromFile(const std::string& path)
{
    if (path.empty()) {
        return false;
    }
    const auto lines = CWFileReadSections(path.c_str(), false);
    if (!lines || lines->empty()) {
        KBLog::info("[Crashwatch:Crash:SymbolResolver] failed to read binary image file " + path);
        return false;
    }
    for (const nlohmann::json& line : *lines) {
        const auto load = line.find("load");
        if (load == line.end() || !load->is_object() || !hasNumber(*load, "base") || !hasNumber(*load, "size")) {
            continue;
        }
        binaryImages_.push_back(
            {load->at("base").get<uint64_t>(), load->at("size").get<uint64_t>(), textOf(*load, "uuid"), textOf(*load, "path")});
    }
    for (const ImageRecord& image : binaryImages_) {
        largestImageSize_ = std::max(largestImageSize_, image.size);
    }
    std::stable_sort(binaryImages_.begin(), binaryImages_.end(),
        [](const ImageRecord& a, const ImageRecord& b) { return a.base < b.base; });
    return true;
}

const CWSymbolResolver::ImageRecord* CWSymbolResolver::loadedBinaryImageForPC(uint64_t address) const
{
    // Only images starting at or below the address, and no further below it than
    // the largest image is long, can hold it; of those the first by base wins.
    auto candidate = std::upper_bound(binaryImages_.begin(), binaryImages_.end(), address,
        [](uint64_t value, const ImageRecord& image) { return value < image.base; });
    const ImageRecord* found = nullptr;
    while (candidate != binaryImages_.begin()) {
        --candidate;
        if (address - candidate->base >= largestImageSize_) {
            break;
        }
        if (address - candidate->base < candidate->size) {
            found = &*candidate;
        }
    }
    return found;
}

bool CWSymbolResolver::fillInImageDetails(
    CWBinaryImages::Found* details, const std::optional<std::string>& uuid) const
{
    if (details == nullptr || !uuid) {
        return false;
    }
    auto known = loadedImages_.find(*uuid);
    if (known == loadedImages_.end()) {
        known = loadedImages_.emplace(*uuid, CWBinaryImages::findImageForUUID(uuid->c_str())).first;
    }
    const auto& found = known->second;
    if (!found) {
        return false;
    }
    *details = *found;
    return true;
}

bool CWSymbolResolver::updateStackFrame(CWStackFrame& frame) const
{
    if (frame.address == 0) {
        return false;
    }
    const ImageRecord* image = loadedBinaryImageForPC(frame.address);
    if (image == nullptr) {
        return false;
    }
    CWBinaryImages::Found loaded;
    if (!fillInImageDetails(&loaded, image->uuid)) {
        return false;
    }
    uintptr_t address = static_cast<uintptr_t>(frame.address - image->base + loaded.base);
    auto symbol = symbolAt(address);
    if (!symbol) {
        return false;
    }
    // A return address at a function's first byte comes from a call that ended the
    // function before it (a call to a function that never returns).
    if (symbol->name && symbol->start == address) {
        address -= 2;
        symbol = symbolAt(address);
        if (!symbol) {
            return false;
        }
    }
    if (symbol->name) {
        frame.symbol = symbol->name;
        frame.rawSymbol = symbol->name;
    }
    if (symbol->start != 0 && address > symbol->start) {
        frame.offset = address - symbol->start;
    }
    if (image->path) {
        frame.library = CWLastPathComponent(*image->path);
    }
    return true;
}

std::optional<CWSymbolResolver::Symbol> CWSymbolResolver::symbolAt(uintptr_t address) const
{
    auto known = knownSymbols_.upper_bound(address);
    if (known != knownSymbols_.begin() && address < std::prev(known)->second.end) {
        return std::prev(known)->second;
    }
    Dl_info info{};
    void* entry = nullptr;
    if (::dladdr1(reinterpret_cast<void*>(address), &info, &entry, RTLD_DL_SYMENT) == 0) {
        return std::nullopt;
    }
    Symbol symbol;
    if (info.dli_sname != nullptr && info.dli_saddr != nullptr) {
        symbol.start = reinterpret_cast<uintptr_t>(info.dli_saddr);
        symbol.name = info.dli_sname;
        const auto size = entry != nullptr ? static_cast<const ElfW(Sym)*>(entry)->st_size : 0;
        symbol.end = symbol.start + size;
        if (size != 0) {
            knownSymbols_[symbol.start] = symbol;
        }
    }
    return symbol;
}

std::shared_ptr<CWStackFrame> CWSymbolResolver::frameForAddress(uint64_t address) const
{
    auto frame = CWStackFrame::stackFrameWithAddress(address);
    return updateStackFrame(*frame) ? frame : nullptr;
}

const std::vector<CWSymbolResolver::ImageRecord>& CWSymbolResolver::binaryImages() const
{
    return binaryImages_;
}
