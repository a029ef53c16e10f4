#include "kit/crash/CWSymbolResolver.h"

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

CWSymbolResolver::CWSymbolResolver()
    : symbolizer_(std::make_unique<CWElfSymbolizer>())
{
}

CWSymbolResolver::~CWSymbolResolver() = default;

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
        binaryImages_.push_back({load->at("base").get<uint64_t>(), load->at("size").get<uint64_t>(),
            textOf(*load, "uuid"), textOf(*load, "path")});
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

bool CWSymbolResolver::imageIsUsable(const ImageRecord& image) const
{
    const auto known = usableImages_.find(image.base);
    if (known != usableImages_.end()) {
        return known->second;
    }
    const bool usable = image.path && image.uuid && symbolizer_->addImage(*image.path, image.base, *image.uuid);
    if (!usable && image.path) {
        KBLog::debug(
            "[Crashwatch:Crash:SymbolResolver] " + *image.path + " is gone or another build; its frames stay unnamed");
    }
    usableImages_[image.base] = usable;
    return usable;
}

bool CWSymbolResolver::updateStackFrame(CWStackFrame& frame, bool returnAddress) const
{
    if (frame.address == 0) {
        return false;
    }
    const ImageRecord* image = loadedBinaryImageForPC(frame.address);
    if (image == nullptr || !imageIsUsable(*image)) {
        return false;
    }
    uint64_t address = frame.address;
    auto location = symbolizer_->locate(address, returnAddress ? address - 1 : address);
    // A return address at a function's first byte comes from a call that ended the
    // function before it (a call to a function that never returns).
    if (location && location->functionStart == address) {
        address -= 2;
        location = symbolizer_->locate(address, address);
    }
    if (image->path) {
        frame.library = CWLastPathComponent(*image->path);
    }
    if (!location) {
        return true;
    }
    frame.symbol = location->function;
    frame.rawSymbol = location->function;
    if (address > location->functionStart) {
        frame.offset = address - location->functionStart;
    }
    if (location->file) {
        frame.fileName = location->file;
        frame.lineNumber = location->line;
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
