#pragma once

#include <functional>
#include <memory>

struct CWAllocator;
struct CWContextConfiguration;
class KBSerialQueue;

// Sizes asked of the fixed allocator: the alternate signal stack, the crash-state
// block and room for the thread tables the crash handler fills; the context and
// the paths copied into the read-only part.
inline constexpr uint64_t CWThreadTablesReserve = 0x10000;
inline constexpr uint64_t CWCopiedStringsReserve = 16 * 1024;

// Builds the crash context in memory made before any crash, runs the set-up jobs
// in parallel, marks the context initialized and write-protects it. False when
// there is no configuration or its report path is not a valid pointer.
bool CWContextInitialize(const CWContextConfiguration* configuration);
// Marks the context not initialized (its memory lives until the process ends).
void CWContextTeardown();

CWAllocator* CWContextAllocator();
// The serial queues made at set-up and kept for the process's life.
std::shared_ptr<KBSerialQueue> CWContextLoggingQueue();
std::shared_ptr<KBSerialQueue> CWContextBinaryImagesQueue();
std::shared_ptr<KBSerialQueue> CWContextExceptionQueue();

// Joins the report folder and a file name into the read-only part.
const char* CWContextCopyPath(const char* reportPath, const char* fileName);

// Tests hold a set-up job with this to see what happens past the wait.
void CWContextSetSetupJobHook(std::function<void()> hook);
