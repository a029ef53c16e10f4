#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/crash/CWElfSymbolizer.h"
#include "kit/crash/CWStackFrame.h"

// Names the frames of a crash report from the ELF files the crashed launch
// had loaded, as its binary-image records list them: files that still are
// the build that crashed name their functions (static ones too) and, with
// DWARF line tables, source file and line.
class CWSymbolResolver {
public:
    // A "load" record of the report's binary-image file.
    struct ImageRecord {
        uint64_t base = 0;
        uint64_t size = 0;
        std::optional<std::string> uuid;
        std::optional<std::string> path;
    };

    CWSymbolResolver();
    ~CWSymbolResolver();

    // Adds the file's "load" records that have a base and a size; false when the
    // file has no readable line.
    bool loadBinaryImagesFromFile(const std::string& path);
    // The first image, by base, that holds the address.
    const ImageRecord* loadedBinaryImageForPC(uint64_t address) const;
    // Names the frame; false when its image is unknown or its file is gone or
    // rebuilt. A return address (every frame but a stack's first) is looked up
    // one byte back for its line, which is that of the call.
    bool updateStackFrame(CWStackFrame& frame, bool returnAddress = false) const;
    std::shared_ptr<CWStackFrame> frameForAddress(uint64_t address) const;

    const std::vector<ImageRecord>& binaryImages() const;

private:
    // Whether the image's file is the one that crashed; it is added to the
    // symbolizer the first time it is asked for.
    bool imageIsUsable(const ImageRecord& image) const;

    std::vector<ImageRecord> binaryImages_;
    uint64_t largestImageSize_ = 0;
    std::unique_ptr<CWElfSymbolizer> symbolizer_;
    mutable std::map<uint64_t, bool> usableImages_;
};
