#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct CWBinaryImageDetails;
struct KBLoadedImage;

// The image table's life off the crash path: filled at set-up from the loader's
// list of images, with a "load" record for each on the binary-images queue.
class CWBinaryImages {
public:
    // Set-up job: empties the table, starts a new record file and records every
    // image loaded now. Returns once the records are written.
    static void initialize();
    // Takes or frees a slot and queues the record of the change.
    static void storeAndRecord(bool loaded, const CWBinaryImageDetails& details);
    static CWBinaryImageDetails detailsOf(const KBLoadedImage& image);

    struct Found {
        std::string path;
        uintptr_t base = 0;
        uint64_t size = 0;
    };
    // Asks the loader for the image with this UUID (32 lower-case hex digits) and
    // where it is loaded in this process. Not for the crash path.
    static std::optional<Found> findImageForUUID(const char* uuid);
};
