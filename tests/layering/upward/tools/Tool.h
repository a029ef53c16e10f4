#pragma once

#include "kit/core/Kit.h"
#include "models/record/Record.h"
