#pragma once

#include <string>

#include "kit/crash/CWThreadArrayOperation.h"

// Writes the companion of a crash file: one line {"threads": [[frame, ...], ...]}
// whose frames match the crash file's stack entries by position.
class CWSerializeSymbolicatedFramesOperation : public CWThreadArrayOperation {
public:
    explicit CWSerializeSymbolicatedFramesOperation(std::string outputPath);

protected:
    void main() override;

private:
    std::string outputPath_;
};
