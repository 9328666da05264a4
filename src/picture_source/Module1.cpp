#include "picture_source/Module1.h"

namespace Module1 {

qint32 lFolderIndex = 0;
qint32 lFileIndex = 0;

} // namespace Module1
