#pragma once

#include <QString>
#include <queue>

#include "kit/support/Queue.h"
