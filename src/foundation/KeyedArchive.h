#pragma once

// Keyed archiving in one include: KeyedCodable (what archived classes implement),
// KeyedClassRegistry (class name -> factory for reading), KeyedArchiver (write)
// and KeyedUnarchiver (read). See each header for what callers rely on.
#include "foundation/KeyedArchiver.h"
#include "foundation/KeyedClassRegistry.h"
#include "foundation/KeyedCodable.h"
#include "foundation/KeyedUnarchiver.h"
