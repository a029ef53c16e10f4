#pragma once

#include <memory>

#include "foundation/Base.h"
#include "models/image/Image.h"
