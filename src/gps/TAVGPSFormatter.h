#pragma once

#include "commlib/VXNumbericFormatter.h"

// The formatter of the decimal coordinate fields: it takes an empty text, a
// lone ".", anything starting with "-" (the delegate judges the rest) and any
// text that reads completely as one number.
class TAVGPSFormatter : public VXNumbericFormatter {
    Q_OBJECT
public:
    static constexpr int kMaxCharsLen = 12;

    explicit TAVGPSFormatter(QObject* parent = nullptr);

protected:
    bool isPartialStringValid(const QString& proposed) const override;
};
