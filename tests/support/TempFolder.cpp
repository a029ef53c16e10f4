#include "support/TempFolder.h"

#include <QDir>

TempFolder::TempFolder()
    : dir_(QDir::tempPath() + QStringLiteral("/lumetta-test-XXXXXX"))
{
}
