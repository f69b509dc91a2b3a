// Every status code of the library. The exports' codes come from the public
// header; the keyed layer's stay inside and are turned into those codes (or
// a null table) by the exports.
#ifndef DINFO_INTERFACE_STATUS_CODES_H
#define DINFO_INTERFACE_STATUS_CODES_H

#include "dinfo/dinfo.h"
#include "keyed/keyed_status.h"

#endif  // DINFO_INTERFACE_STATUS_CODES_H
