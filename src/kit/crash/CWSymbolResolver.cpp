#include "kit/crash/CWSymbolResolver.h"

#include <dlfcn.h>

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
    std::stable_sort(binaryImages_.begin(), binaryImages_.end(),
        [](const ImageRecord& a, const ImageRecord& b) { return a.base < b.base; });
    return true;
}

const CWSymbolResolver::ImageRecord* CWSymbolResolver::loadedBinaryImageForPC(uint64_t address) const
{
    for (const ImageRecord& image : binaryImages_) {
        if (image.base <= address && address - image.base < image.size) {
            return &image;
        }
    }
    return nullptr;
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
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(address), &info) == 0) {
        return false;
    }
    // A return address at a function's first byte comes from a call that ended the
    // function before it (a call to a function that never returns).
    if (info.dli_saddr != nullptr && reinterpret_cast<uintptr_t>(info.dli_saddr) == address) {
        address -= 2;
        info = Dl_info{};
        if (::dladdr(reinterpret_cast<void*>(address), &info) == 0) {
            return false;
        }
    }
    if (info.dli_sname != nullptr) {
        frame.symbol = info.dli_sname;
        frame.rawSymbol = info.dli_sname;
    }
    const auto start = reinterpret_cast<uintptr_t>(info.dli_saddr);
    if (info.dli_saddr != nullptr && address > start) {
        frame.offset = address - start;
    }
    if (image->path) {
        frame.library = CWLastPathComponent(*image->path);
    }
    return true;
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
