#include "kit/crash/CWBinaryImages.h"

#include <cerrno>
#include <cstring>

#include "kit/core/KBLoadedImages.h"
#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/crashpath/CWBinaryImage.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/support/KBSerialQueue.h"

CWBinaryImageDetails CWBinaryImages::detailsOf(const KBLoadedImage& image)
{
    CWBinaryImageDetails details;
    memset(&details, 0, sizeof(details));
    strncpy(details.path, image.path.c_str(), sizeof(details.path) - 1);
    strncpy(details.uuid, image.uuid.c_str(), sizeof(details.uuid) - 1);
    details.base = image.base;
    details.size = image.textSize;
    details.ehFrameHeader = image.ehFrameHeader;
    details.ehFrame = CWBinaryImageEhFrameFromHeader(image.ehFrameHeader);
    return details;
}

void CWBinaryImages::initialize()
{
    CWContext* context = CWContextGet();
    CWCrashState* state = CWCrashStateGet();
    memset(static_cast<void*>(&state->binaryImagesFile), 0, sizeof(state->binaryImagesFile));
    state->binaryImagesFile.descriptor = -1;
    for (CWBinaryImageSlot& slot : state->binaryImages) {
        slot.base.store(0);
        slot.size = 0;
    }
    const auto queue = CWContextBinaryImagesQueue();
    queue->sync([context, state]() {
        if (!CWFileRemove(context->binaryImagesPath)) {
            CWLOG_WARN("Unable to reset the binary image log file %s\n", strerror(errno));
        }
        if (!CWFileInit(&state->binaryImagesFile, context->binaryImagesPath, false)) {
            CWLOG_WARN("Error: Unable to open the binary image log file during init\n");
        }
    });
    for (const KBLoadedImage& image : KBLoadedImages::all()) {
        storeAndRecord(true, detailsOf(image));
    }
    // Records of later changes open and close the file each time.
    queue->sync([state]() { CWFileClose(&state->binaryImagesFile); });
}

void CWBinaryImages::storeAndRecord(bool loaded, const CWBinaryImageDetails& details)
{
    CWBinaryImageStoreNode(loaded, &details);
    CWContextBinaryImagesQueue()->async([loaded, details]() { CWBinaryImageRecordSlice(loaded, &details); });
}

std::optional<CWBinaryImages::Found> CWBinaryImages::findImageForUUID(const char* uuid)
{
    if (uuid == nullptr) {
        CWLOG_WARN("null input\n");
        return std::nullopt;
    }
    for (const KBLoadedImage& image : KBLoadedImages::all()) {
        if (!image.uuid.empty() && image.uuid == uuid) {
            return Found{image.path, image.base, image.textSize};
        }
    }
    return std::nullopt;
}
