#pragma once

#include <memory>

#include "kit/crash/CWSymbolResolver.h"
#include "kit/crash/CWThreadArrayOperation.h"

// Names every frame it can through the resolver.
class CWSymbolicationOperation : public CWThreadArrayOperation {
public:
    explicit CWSymbolicationOperation(std::shared_ptr<const CWSymbolResolver> symbolResolver);

protected:
    void main() override;

private:
    std::shared_ptr<const CWSymbolResolver> symbolResolver_;
};
