#include "platform/IdleMemory.h"

#include <QPixmapCache>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace lotfinch::platform {

void ReleaseIdleMemory()
{
    QPixmapCache::clear();
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace lotfinch::platform
