#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kit/crash/CWBinaryImages.h"
#include "kit/crash/CWStackFrame.h"

// Names the frames of a crash report by asking the loader of this process,
// for the images the crashed launch recorded that are loaded here too, with
// the same build.
class CWSymbolResolver {
public:
    // A "load" record of the report's binary-image file.
    struct ImageRecord {
        uint64_t base = 0;
        uint64_t size = 0;
        std::optional<std::string> uuid;
        std::optional<std::string> path;
    };

    // Adds the file's "load" records that have a base and a size; false when the
    // file has no readable line.
    bool loadBinaryImagesFromFile(const std::string& path);
    // The first image, by base, that holds the address.
    const ImageRecord* loadedBinaryImageForPC(uint64_t address) const;
    // Where the image with this build is loaded in this process; asked once per
    // build, since a report's frames keep coming back to the same few images.
    bool fillInImageDetails(CWBinaryImages::Found* details, const std::optional<std::string>& uuid) const;
    bool updateStackFrame(CWStackFrame& frame) const;
    std::shared_ptr<CWStackFrame> frameForAddress(uint64_t address) const;

    const std::vector<ImageRecord>& binaryImages() const;

private:
    // A symbol of this process, as the loader named it.
    struct Symbol {
        uintptr_t start = 0;
        uintptr_t end = 0;
        std::optional<std::string> name;
    };
    // The symbol holding the address (unnamed when the loader knows none there);
    // nothing when the address lies in no loaded object. The loader searches its
    // symbol tables from the start at every call, so named ranges are kept: a
    // report's stacks pass through the same functions again and again.
    std::optional<Symbol> symbolAt(uintptr_t address) const;

    std::vector<ImageRecord> binaryImages_;
    uint64_t largestImageSize_ = 0;
    mutable std::map<uintptr_t, Symbol> knownSymbols_;
    mutable std::map<std::string, std::optional<CWBinaryImages::Found>> loadedImages_;
};
