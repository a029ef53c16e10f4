#include "kit/crash/CWReport.h"

#include "kit/crash/CWContextInitialize.h"
#include "kit/crash/CWUserLogging.h"
#include "kit/support/KBSerialQueue.h"

namespace {

// Reads the value once and keeps it, absent values included.
template <typename T, typename Read> const T& cached(std::optional<T>& slot, Read read)
{
    if (!slot) {
        slot = read();
    }
    return *slot;
}

// The key limits of this launch's crash context.
uint32_t maximumKeys(bool user)
{
    const CWContext* context = CWContextGet();
    if (context == nullptr) {
        return 0;
    }
    return user ? context->userKeyValues.maxKeys : context->internalKeyValues.maxKeys;
}

} // namespace

CWReport::CWReport(CWInternalReportPtr internalReport, bool prefetchData)
    : internalReport_(std::move(internalReport))
    , internalCompactedKVFile_(internalReport_->pathForContentFile("internal_compacted_kv.cwrecord"))
    , internalIncrementalKVFile_(internalReport_->pathForContentFile("internal_incremental_kv.cwrecord"))
    , userCompactedKVFile_(internalReport_->pathForContentFile("user_compacted_kv.cwrecord"))
    , userIncrementalKVFile_(internalReport_->pathForContentFile("user_incremental_kv.cwrecord"))
    , readOnly_(prefetchData)
{
    internalStorage_ = {internalIncrementalKVFile_.c_str(), internalCompactedKVFile_.c_str(),
        CWKeyValueCompactionThreshold, maximumKeys(false)};
    userStorage_ = {
        userIncrementalKVFile_.c_str(), userCompactedKVFile_.c_str(), CWKeyValueCompactionThreshold, maximumKeys(true)};
    if (prefetchData) {
        identifier();
        bundleVersion();
        bundleShortVersionString();
        dateCreated();
        crashedOnDate();
        OSVersion();
        OSBuildVersion();
        isCrash();
        customKeys();
    }
}

CWReport::~CWReport()
{
    // A compaction queued by one of our writes holds our storage descriptors.
    if ((internalKVCounter_ != 0 || userKVCounter_ != 0) && CWContextGet() != nullptr) {
        CWContextLoggingQueue()->sync([] {});
    }
}

const CWInternalReportPtr& CWReport::internalReport() const
{
    return internalReport_;
}

std::string CWReport::identifier()
{
    return cached(identifer_, [this] { return internalReport_->identifier(); });
}

std::optional<std::string> CWReport::bundleVersion()
{
    return cached(bundleVersion_, [this] { return internalReport_->bundleVersion(); });
}

std::optional<std::string> CWReport::bundleShortVersionString()
{
    return cached(bundleShortVersionString_, [this] { return internalReport_->bundleShortVersionString(); });
}

std::optional<CWInternalReport::Date> CWReport::dateCreated()
{
    return cached(dateCreated_, [this] { return internalReport_->dateCreated(); });
}

std::optional<CWInternalReport::Date> CWReport::crashedOnDate()
{
    return cached(crashedOnDate_, [this] { return internalReport_->crashedOnDate(); });
}

std::optional<std::string> CWReport::OSVersion()
{
    return cached(OSVersion_, [this] { return internalReport_->OSVersion(); });
}

std::optional<std::string> CWReport::OSBuildVersion()
{
    return cached(OSBuildVersion_, [this] { return internalReport_->OSBuildVersion(); });
}

bool CWReport::isCrash()
{
    return cached(isCrash_, [this] { return internalReport_->isCrash(); });
}

const std::map<std::string, std::string>& CWReport::customKeys()
{
    return cached(customKeys_, [this] { return readCustomKeys(); });
}

std::map<std::string, std::string> CWReport::readCustomKeys() const
{
    return CWUserLoggingGetCompactedKVEntries(&userStorage_, true);
}

bool CWReport::canRecordNewValues() const
{
    return !readOnly_ && CWContextGet() != nullptr && CWContextIsInitialized();
}

void CWReport::recordValueForInternalKey(const std::optional<std::string>& value, const std::string& key)
{
    if (canRecordNewValues()) {
        // The limit of the context as it is now: it may have been set up after this report was made.
        internalStorage_.maxKeys = maximumKeys(false);
        CWUserLoggingRecordKeyValue(key, value, &internalStorage_, &internalKVCounter_);
    }
}

void CWReport::recordValueForUserKey(const std::optional<std::string>& value, const std::string& key)
{
    if (canRecordNewValues()) {
        userStorage_.maxKeys = maximumKeys(true);
        CWUserLoggingRecordKeyValue(key, value, &userStorage_, &userKVCounter_);
    }
}

void CWReport::setObjectValue(const std::optional<std::string>& value, const std::string& key)
{
    recordValueForUserKey(value, key);
}

void CWReport::setUserIdentifier(const std::optional<std::string>& value)
{
    recordValueForInternalKey(value, kCWInternalKeyUserIdentifier);
}

void CWReport::setUserName(const std::optional<std::string>& value)
{
    recordValueForInternalKey(value, kCWInternalKeyUserName);
}

void CWReport::setUserEmail(const std::optional<std::string>& value)
{
    recordValueForInternalKey(value, kCWInternalKeyUserEmail);
}

std::optional<std::string> CWReport::userIdentifier() const
{
    return std::nullopt;
}

std::optional<std::string> CWReport::userName() const
{
    return std::nullopt;
}

std::optional<std::string> CWReport::userEmail() const
{
    return std::nullopt;
}

const CWKeyValueStorage& CWReport::internalKVStorage() const
{
    return internalStorage_;
}

const CWKeyValueStorage& CWReport::userKVStorage() const
{
    return userStorage_;
}
