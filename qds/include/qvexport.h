/* Symbol export for the three directory client libraries. */
#ifndef QVEXPORT_H
#define QVEXPORT_H

#if defined(QV_BUILDING_LIBRARY)
#define QV_API __attribute__((visibility("default")))
#else
#define QV_API
#endif

#endif
