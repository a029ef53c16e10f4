#include "kit/core/CWURLSessionConfiguration.h"

std::shared_ptr<CWURLSessionConfiguration> CWURLSessionConfiguration::defaultSessionConfiguration()
{
    return std::make_shared<CWURLSessionConfiguration>();
}

std::shared_ptr<CWURLSessionConfiguration> CWURLSessionConfiguration::ephemeralSessionConfiguration()
{
    return std::make_shared<CWURLSessionConfiguration>();
}

std::shared_ptr<CWURLSessionConfiguration> CWURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(
    const std::string&)
{
    return nullptr;
}

std::shared_ptr<CWURLSessionConfiguration> CWURLSessionConfiguration::backgroundSessionConfiguration(
    const std::string& identifier)
{
    return backgroundSessionConfigurationWithIdentifier(identifier);
}

std::shared_ptr<CWURLSessionConfiguration> CWURLSessionConfiguration::copy() const
{
    auto copied = std::make_shared<CWURLSessionConfiguration>();
    copied->HTTPAdditionalHeaders = HTTPAdditionalHeaders;
    return copied;
}
