#pragma once

#include "commlib/Widget.h"
