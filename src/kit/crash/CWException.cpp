#include "kit/crash/CWException.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <typeinfo>

#include "kit/crash/CWSubmittableCrashReceiver.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/crash/crashpath/CWContext.h"
#include "kit/crash/crashpath/CWFile.h"
#include "kit/crash/crashpath/CWHandler.h"
#include "kit/crash/crashpath/CWSDKLog.h"
#include "kit/support/KBLog.h"

namespace {

// Fatal records are written one at a time: a second thread throwing waits
// for the first. The owner lets a terminate re-entered on the recording thread
// skip recording instead of waiting for itself.
std::mutex gFatalMutex;
std::atomic<pid_t> gFatalOwner{0};

const char* typeName(int32_t kind)
{
    switch (kind) {
    case CWExceptionKindObjectiveC:
        return "objective-c";
    case CWExceptionKindCPlusPlus:
        return "c++";
    case CWExceptionKindJavaScript:
        return "javascript";
    case CWExceptionKindCustom:
        return "custom";
    default:
        return "unknown";
    }
}

bool isFatal(int32_t kind)
{
    return kind == CWExceptionKindObjectiveC || kind == CWExceptionKindCPlusPlus;
}

uint64_t secondsSince1970()
{
    timeval now{};
    gettimeofday(&now, nullptr);
    return static_cast<uint64_t>(now.tv_sec);
}

void writeOptionalHex(CWFile* file, const char* key, const std::optional<std::string>& value)
{
    if (value) {
        CWFileWriteHashHexBytes(file, key, value->data(), value->size());
    }
}

void writeRecord(
    CWFile* file, int32_t kind, const char* name, const char* reason, const std::vector<CWStackFramePtr>& frames)
{
    CWFileWriteRecordStart(file, "exception");
    CWFileWriteObjectOpen(file);
    CWFileWriteHashString(file, "type", typeName(kind));
    CWFileWriteHashHexString(file, "name", name);
    CWFileWriteHashHexString(file, "reason", reason);
    CWFileWriteHashUnsigned(file, "time", secondsSince1970());
    if (!frames.empty()) {
        CWFileWriteKey(file, "frames");
        CWFileWriteArrayOpen(file);
        for (const CWStackFramePtr& frame : frames) {
            if (!frame) {
                continue;
            }
            CWFileWriteObjectOpen(file);
            CWFileWriteHashUnsigned(file, "pc", frame->address);
            writeOptionalHex(file, "symbol", frame->symbol);
            CWFileWriteHashUnsigned(file, "offset", frame->offset);
            writeOptionalHex(file, "library", frame->library);
            writeOptionalHex(file, "file", frame->fileName);
            CWFileWriteHashUnsigned(file, "line", frame->lineNumber);
            CWFileWriteObjectClose(file);
        }
        CWFileWriteArrayClose(file);
    }
    CWFileWriteObjectClose(file);
    CWFileWriteObjectClose(file);
    CWFileWriteLineEnd(file);
}

void recordFatal(const CWContext* context, int32_t kind, const char* name, const char* reason,
    const std::vector<CWStackFramePtr>& frames, bool attemptDelivery)
{
    const pid_t self = gettid();
    if (gFatalOwner.load() == self) {
        CWLOG_WARN("Error: already recording an exception on this thread\n");
        return;
    }
    std::lock_guard lock(gFatalMutex);
    gFatalOwner.store(self);
    CWFile file;
    if (!CWFileInit(&file, context->exception.recordPath, false)) {
        CWLOG_WARN("Unable to open exception file\n");
    } else {
        writeRecord(&file, kind, name, reason, frames);
        CWHandler(&file, self, nullptr);
        CWFileClose(&file);
        if (attemptDelivery && context->submittableCrashReceiver != nullptr) {
            context->submittableCrashReceiver->potentiallySubmittableCrashOccurred();
        }
    }
    gFatalOwner.store(0);
}

// The readable name of a type; the raw name when it cannot be demangled.
std::string demangled(const std::type_info* type)
{
    int status = 0;
    char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    std::string name = status == 0 && readable != nullptr ? readable : type->name();
    std::free(readable);
    return name;
}

void recordCPlusPlus(const std::string& name, const char* reason)
{
    CWExceptionRecord(CWExceptionKindCPlusPlus, name.c_str(), reason, {}, true);
}

} // namespace

void CWExceptionInitialize(CWExceptionStorage* storage, uint32_t* customExceptionCounter)
{
    if (!CWFileRemove(storage->recordPath)) {
        CWLOG_WARN("Unable to reset the exception file %s\n", strerrordesc_np(errno));
    }
    storage->previousTerminateHandler = std::set_terminate(CWTerminateHandler);
    if (customExceptionCounter != nullptr) {
        *customExceptionCounter = 0;
    }
}

void CWExceptionRecord(int32_t kind, const char* name, const char* reason, const std::vector<CWStackFramePtr>& frames,
    bool attemptDelivery)
{
    if (!CWContextIsInitialized()) {
        return;
    }
    const CWContext* context = CWContextGet();
    CWLOG_WARN("Recording an exception structure (%d, %d)\n", attemptDelivery ? 1 : 0, isFatal(kind) ? 1 : 0);
    if (isFatal(kind)) {
        recordFatal(context, kind, name, reason, frames, attemptDelivery);
    } else {
        CWUserLoggingAppendToABStorage(&context->customExceptionStorage, &CWCrashStateGet()->customExceptionCurrentFile,
            [&](CWFile* file) { writeRecord(file, kind, name, reason, frames); });
    }
    CWLOG_WARN("Finished recording an exception structure\n");
}

void CWCatchAndRecordActiveException()
{
    const std::exception_ptr active = std::current_exception();
    if (!active) {
        CWLOG_WARN("no active exception\n");
        return;
    }
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (type == nullptr || type->name() == nullptr) {
        CWLOG_WARN("Error: invalid parameter\n");
        return;
    }
    const std::string name = demangled(type);
    CWLOG_WARN("Recording exception of type '%s'\n", name.c_str());
    try {
        std::rethrow_exception(active);
    } catch (const char* text) {
        recordCPlusPlus("const char *", text);
    } catch (const std::string& text) {
        recordCPlusPlus("std::string", text.c_str());
    } catch (const std::bad_alloc& failure) {
        recordCPlusPlus("std::bad_alloc", failure.what());
    } catch (const std::exception& exception) {
        recordCPlusPlus(name, exception.what());
    } catch (...) {
        recordCPlusPlus(name, "");
    }
}

void CWTerminateHandler()
{
    CWLOG_WARN("C++ terminate handler invoked\n");
    const CWContext* context = CWContextGet();
    std::terminate_handler previous = context != nullptr ? context->exception.previousTerminateHandler : nullptr;
    if (previous == CWTerminateHandler) {
        CWLOG_WARN("Error: original handler was set recursively\n");
        previous = nullptr;
    } else if (previous != nullptr) {
        CWLOG_WARN("restoring pre-existing handler\n");
        if (std::get_terminate() == previous) {
            CWLOG_WARN("handler has already been restored, aborting\n");
            std::abort();
        }
        std::set_terminate(previous);
    }
    CWCatchAndRecordActiveException();
    if (previous != nullptr) {
        CWLOG_WARN("invoking pre-existing handler\n");
        previous();
    }
    CWLOG_WARN("aborting\n");
    std::abort();
}

std::optional<std::string> CWExceptionStartupWarnings()
{
    const CWContext* context = CWContextGet();
    if (context == nullptr || context->debuggerAttached) {
        return std::nullopt;
    }
    const std::terminate_handler current = std::get_terminate();
    if (current == CWTerminateHandler) {
        return std::nullopt;
    }
    Dl_info info{};
    const bool found = dladdr(reinterpret_cast<void*>(current), &info) != 0;
    const std::string symbol = found && info.dli_sname != nullptr ? info.dli_sname : "unknown";
    const std::string image = found && info.dli_fname != nullptr ? info.dli_fname : "unknown";
    const std::string warning = "Warning: std::get_terminate is '" + symbol + "' in '" + image + "'";
    KBLog::tagged("[Crashwatch:Crash]", warning);
    return "[Crashwatch:Crash] " + warning;
}

void CWExceptionThrowTestException()
{
    throw CWExceptionTestText;
}
