#include "app/App.h"
#include "kit/core/Kit.h"
#include "models/image/Image.h"
#include "tools/Tool.h"
