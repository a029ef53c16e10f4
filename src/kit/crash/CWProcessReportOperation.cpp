#include "kit/crash/CWProcessReportOperation.h"

#include "kit/crash/CWDemangleOperation.h"
#include "kit/crash/CWRecordReader.h"
#include "kit/crash/CWSerializeSymbolicatedFramesOperation.h"
#include "kit/crash/CWSymbolicationOperation.h"

CWProcessReportOperation::CWProcessReportOperation(
    CWInternalReportPtr report, std::shared_ptr<CWSymbolResolver> resolver)
    : report_(std::move(report))
    , symbolResolver_(std::move(resolver))
{
}

std::string CWProcessReportOperation::binaryImagePath() const
{
    return report_->binaryImagePath();
}

void CWProcessReportOperation::main()
{
    if (!report_ || !symbolResolver_ || !symbolResolver_->loadBinaryImagesFromFile(binaryImagePath())) {
        return;
    }
    report_->enumerateSymbolicatableFilesInContent([this](const std::string& path) {
        if (!isCancelled()) {
            symbolicateFile(path, symbolResolver_);
        }
    });
}

std::shared_ptr<CWThreadArray> CWProcessReportOperation::threadArrayFromFile(const std::string& path)
{
    const auto threadLists = CWFileReadSections(path.c_str(), false, CWRecordKindFilter("threads"));
    if (!threadLists || threadLists->empty() || !threadLists->front().is_array()) {
        return nullptr;
    }
    auto threads = std::make_shared<CWThreadArray>();
    for (const nlohmann::json& thread : threadLists->front()) {
        auto& frames = threads->emplace_back();
        const auto stack = thread.is_object() ? thread.find("stacktrace") : thread.end();
        if (stack == thread.end() || !stack->is_array()) {
            continue;
        }
        for (const nlohmann::json& address : *stack) {
            frames.push_back(
                CWStackFrame::stackFrameWithAddress(address.is_number_unsigned() ? address.get<uint64_t>() : 0));
        }
    }
    return threads;
}

bool CWProcessReportOperation::symbolicateFile(
    const std::string& path, const std::shared_ptr<CWSymbolResolver>& resolver) const
{
    const auto threads = threadArrayFromFile(path);
    if (!threads) {
        return false;
    }
    const std::shared_ptr<CWThreadArrayOperation> passes[]
        = {std::make_shared<CWSymbolicationOperation>(resolver), std::make_shared<CWDemangleOperation>(),
            std::make_shared<CWSerializeSymbolicatedFramesOperation>(path + ".symbolicated")};
    for (const auto& pass : passes) {
        pass->setThreadArray(threads);
        pass->start();
    }
    return true;
}
