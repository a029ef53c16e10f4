#pragma once

#include "webmapkit/GMKJsonBase.h"

#include <QList>
#include <QPair>
#include <QString>

// An error trace as (code, message) pairs, oldest first, for comparing whole chains.
using GMKJsonChain = QList<QPair<int, QString>>;

inline GMKJsonChain chainOf(const GMKJsonBase& base)
{
    GMKJsonChain chain;
    for (const GMKJsonError& error : base.errorTrace()) {
        chain.append({error.code(), error.localizedDescription()});
    }
    return chain;
}
