#pragma once

#include "models/record/Record.h"
